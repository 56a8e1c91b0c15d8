// velpin-cli extract: one tag item's stored bytes, for hex viewers and for pulling out embedded
// data.
#include <cstdint>
#include <string_view>

#include "base/error.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "codec/movie_output.h"
#include "input/embedded_movies.h"
#include "input/item_at.h"
#include "report/output.h"

namespace velpin {

void AddExtractCommand(CLI::App& app, ExtractOptions& options, CommandRun& run) {
    CLI::App* extract = WithExitStatuses(
        app.add_subcommand("extract",
                           "write one item's stored bytes to a file or to standard output"),
        {{exitOk, "the bytes were written"},
         {exitFailure, "the movie could not be read or failed to load"}});
    extract->add_option("--index", options.index, "the item, numbered as `tags` numbers it")
        ->type_name("N")
        ->required()
        ->check(DecimalNumber());
    extract->add_flag("--body", options.body, "the body alone, without the tag header");
    extract
        ->add_flag("--data", options.data,
                   "a DefineBinaryData item's data alone, without its id and reserved bytes")
        ->excludes("--body");
    AddInflateFlag(*extract, options.inflate);
    AddMaxSizeOption(*extract, options.maxSize);
    AddEmbeddedOption(*extract, options.embedded);
    AddLenientFlag(*extract, options.lenient);
    extract->add_option("IN", options.in, "the movie")->required();
    extract->add_option("OUT", options.out, "the file to write; - or none: standard output");
    extract->callback(
        [&options, &run] { run = [&options] { return RunExtractCommand(options); }; });
}

int RunExtractCommand(const ExtractOptions& options) {
    return RunOnLoadedMovie(
        {{options.in, options.inflate, options.lenient, options.embedded, options.maxSize},
         OutputMode::Plain},
        [&](CInputScript& movie, const LoadedInput&) {
            std::uint64_t count = 0;
            const TagItem* const item = ItemAt(movie, options.index, count);
            if (item == nullptr) {
                throw Error::Usage("index " + std::to_string(options.index) +
                                   " is out of range: the movie has " + std::to_string(count) +
                                   " tag items");
            }
            const std::size_t skipped = options.body ? item->HeaderLength : 0;
            const std::uint8_t* bytes = item->Data + skipped;
            // The loader keeps no body longer than the bytes left in the file.
            std::size_t length =
                item->HeaderLength - skipped + static_cast<std::size_t>(item->BodyLength);
            if (options.data) {
                const std::optional<ByteSpan> data = BinaryDataOf(*item);
                if (!data) {
                    throw Error::Usage("--data: item " + std::to_string(options.index) +
                                       " is not a DefineBinaryData item with data");
                }
                bytes = data->bytes;
                length = data->size;
            }
            // Only here does "-" mean standard output: every input operand is a file, "-" included.
            if (options.out == "-") {
                StdoutWriter stdoutWriter;
                stdoutWriter.Put(std::string_view(reinterpret_cast<const char*>(bytes), length));
                return static_cast<int>(exitOk);
            }
            if (!WriteOutputFile(options.out, [&](const ByteSink& sink) { sink(bytes, length); })) {
                return ReportFailedWrite(options.out);
            }
            return static_cast<int>(exitOk);
        });
}

}  // namespace velpin
