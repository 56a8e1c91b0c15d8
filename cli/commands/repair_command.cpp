// velpin-cli repair: a broken movie read as far as it goes, and written back as one that loads.
#include <string>

#include "Unit1/presentation/MessageTexts.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/json_envelope.h"
#include "cli/commands/movie_faults.h"
#include "cli/commands/movie_input.h"
#include "cli/commands/movie_output.h"
#include "swfff/repair.h"

namespace {

std::string ReportLine(const MovieFaults& faults, const RepairOutcome& outcome, Container written) {
    std::string line = "repair: ";
    for (const std::string& sentence : FaultSentences(faults)) {
        line += sentence + "; ";
    }
    if (faults.None()) {
        line += "nothing to mend; ";
    }
    line += "kept " + std::to_string(outcome.topLevelKept) + " of " +
            std::to_string(outcome.topLevelRead) + " top-level tags; ";
    if (outcome.endAdded) {
        line += "End added; ";
    }
    if (outcome.frameCountWritten != outcome.frameCountDeclared) {
        line += "frame count " + std::to_string(outcome.frameCountDeclared) + " -> " +
                std::to_string(outcome.frameCountWritten) + "; ";
    }
    line += std::to_string(outcome.fileLength) + " bytes written";
    if (IsCompressed(written)) {
        line += ", as " + std::string(*ContainerSignature(written));
    }
    return line;
}

void WriteReportJson(std::int32_t result, const MovieFaults& faults, const RepairOutcome& outcome) {
    StdoutWriter out;
    JsonWriter json(out.Buffer());
    BeginJsonEnvelope(json, {result, {}});
    WriteFaultsJson(json, faults);
    json.Key("topLevelTags");
    json.BeginObject();
    json.Key("read");
    json.Integer(outcome.topLevelRead);
    json.Key("kept");
    json.Integer(outcome.topLevelKept);
    json.EndObject();
    json.Key("endAdded");
    json.Boolean(outcome.endAdded);
    json.Key("frameCount");
    json.BeginObject();
    json.Key("declared");
    json.Integer(outcome.frameCountDeclared);
    json.Key("written");
    json.Integer(outcome.frameCountWritten);
    json.EndObject();
    json.Key("fileLength");
    json.Integer(outcome.fileLength);
    json.EndObject();
    out.Put("\n");
}

}  // namespace

int RunRepairCommand(const RepairOptions& options) {
    const OutputMode mode = options.json ? OutputMode::Json : OutputMode::Plain;
    return RunReportingRaisedErrors(
        mode, options.in,
        [&]() {
            ScopedMovie document;
            InputHead head;
            MovieFaults faults;
            const std::int32_t result = LoadMovieInput(document.movie, options.in, options.inflate,
                                                       options.inflate ? &head : nullptr, &faults);
            if (!faults.load.readable) {
                return ReportLoadFailure(result, mode, options.in, true);
            }
            const RepairOutcome outcome =
                RepairMovie(document.movie, faults.load, faults.stream && faults.stream->cut);
            if (!outcome.repaired) {
                const std::string why =
                    "no movie the loader accepts can be made of the tags read: it would be "
                    "shorter than 21 bytes";
                WriteErrorLine(options.in, "repair: " + why);
                if (mode == OutputMode::Json) {
                    WriteJsonFailure({result, {}});
                }
                return static_cast<int>(exitFailure);
            }
            const Container written = options.fws ? Container::Fws : head.container;
            if (!SaveMovieIn(document.movie, written, options.fws, options.out)) {
                WriteErrorLine(options.out, kSaveFailedText);
                return static_cast<int>(exitFailure);
            }
            if (mode == OutputMode::Json) {
                WriteReportJson(result, faults, outcome);
            } else {
                WriteNoteLine(ReportLine(faults, outcome, written));
            }
            return static_cast<int>(exitOk);
        },
        true);
}
