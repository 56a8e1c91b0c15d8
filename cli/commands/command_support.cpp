#include "cli/commands/command_support.h"

#include "Unit1/presentation/MessageTexts.h"
#include "base/error.h"
#include "report/envelope.h"
#include "report/faults.h"
#include "report/messages.h"
#include "report/output.h"
#include "swfff/scoped_movie.h"

namespace velpin {

int RunReportingRaisedErrors(OutputMode mode, const std::string& path,
                             const std::function<int()>& command, bool noFaults) {
    try {
        return command();
    } catch (const Error& error) {
        const std::string& about = error.File().empty() ? path : error.File();
        if (error.Class() == ErrorClass::Usage) {
            // Found once the movie was read: the line names it, as every line about it does.
            throw Error(error.Class(), error.Subject(), error.what(), about);
        }
        if (error.Class() == ErrorClass::Unwritable) {
            WriteErrorLine(error.File().empty() ? path : error.File(), error.what());
            if (mode == OutputMode::Json) {
                PrintJsonFailure({std::nullopt, error.what()}, noFaults);
            }
            return exitUnwritable;
        }
        // The library's own failures in a command on one movie: its input could not be
        // inflated, or the coder of its output could not start.
        const bool output = error.Subject() == ErrorSubject::Output;
        WriteErrorLine(
            about, output ? CompressFailureLine(error.what()) : InflateFailureLine(error.what()));
        if (mode == OutputMode::Json) {
            PrintJsonFailure(
                {std::nullopt, output ? CompressFailureLine(error.what()) : error.what()},
                noFaults);
        }
        return exitFailure;
    } catch (...) {
        const Error error = CurrentError();
        WriteErrorLine(error.File().empty() ? path : error.File(), error.what());
        if (mode == OutputMode::Json) {
            PrintJsonFailure({std::nullopt, error.what()}, noFaults);
        }
        return exitFailure;
    }
}

int ReportFailedWrite(const std::string& out) {
    WriteErrorLine(out, kSaveFailedText);
    return exitUnwritable;
}

int ReportLoadFailure(const LoadedInput& loaded, OutputMode mode, const std::string& path,
                      bool lenient) {
    // The file is looked at again only after a refusal, so loads without --inflate stay exactly
    // the window's; with --inflate, and for an embedded movie, its first bytes were looked at
    // already.
    const MovieHead head = loaded.head.size ? static_cast<const MovieHead&>(loaded.head)
                           : loaded.result == loadNotUncompressedSwf ? HeadOfFile(path)
                                                                     : MovieHead{};
    WriteErrorLine(loaded.name.empty() ? path : loaded.name,
                   LoadFailureLine(loaded.result, head, loaded.maxSize));
    if (mode == OutputMode::Json) {
        PrintJsonFailure({loaded.result, {}, loaded.maxSize}, lenient);
    }
    return exitFailure;
}

int RunOnLoadedMovie(const MovieCommandInput& input,
                     const std::function<int(CInputScript&, const LoadedInput&)>& use) {
    const MovieRequest& request = input.request;
    return RunReportingRaisedErrors(
        input.mode, request.path,
        [&]() {
            ScopedMovie document;
            const LoadedInput loaded = LoadRequestedMovie(document.movie, request);
            if (!loaded.Readable()) {
                return ReportLoadFailure(loaded, input.mode, request.path, request.lenient);
            }
            if (!loaded.faults) {
                return use(document.movie, loaded);
            }
            if (input.mode == OutputMode::Plain) {
                for (const std::string& sentence : FaultSentences(*loaded.faults)) {
                    WriteErrorLine(loaded.name, sentence);
                }
            }
            const int status = use(document.movie, loaded);
            return status == exitOk && !loaded.faults->None() ? static_cast<int>(exitFailure)
                                                              : status;
        },
        request.lenient);
}

}  // namespace velpin
