#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "base/error.h"
#include "cli/commands/codec_commands.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "report/output.h"
#include "swfff/vocabulary.h"

namespace velpin {

namespace {

// CLI11 takes "+1" and other forms strtoull accepts, and saturates a value too large; an index or
// a count is decimal digits only, as `tags` prints them, and one beyond every list is named as
// given.
const CLI::Validator kDecimalNumber(
    [](std::string& text) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
            return "not a decimal number: " + text;
        }
        std::uint64_t value = 0;
        if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) {
            return "too large: " + text;
        }
        return std::string();
    },
    "");

// One --delete-code value: tag codes separated by commas, none left out.
std::vector<std::uint16_t> ParseTagCodeList(std::string_view list) {
    std::vector<std::uint16_t> codes;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view code = list.substr(start, comma - start);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
        if (code.empty() || error != std::errc() || end != code.data() + code.size() ||
            value >= kTagCodeCount) {
            throw std::invalid_argument("not a tag code: " + std::string(code));
        }
        codes.push_back(static_cast<std::uint16_t>(value));
        start = comma + 1;
    }
    return codes;
}

// Parses each value of a list option as it is read, and adds what `parse` gives to `items`,
// each item once when `once`: the value is parsed once, and what `parse` raises as
// std::invalid_argument is reported as the option's own fault.
template <typename Item>
std::function<void(const std::string&)> AppendParsed(std::vector<Item> (*parse)(std::string_view),
                                                     std::vector<Item>& items, bool once) {
    return [parse, &items, once](const std::string& text) {
        try {
            for (const Item& item : parse(text)) {
                if (!once || std::find(items.begin(), items.end(), item) == items.end()) {
                    items.push_back(item);
                }
            }
        } catch (const std::invalid_argument& error) {
            throw CLI::ValidationError(error.what());
        }
    };
}

// A range check that adds nothing to the option's type name: the description says the range, so
// that every option fits on one line of the help.
CLI::Range QuietRange(unsigned min, unsigned max) {
    CLI::Range range(min, max);
    range.description("");
    return range;
}

void AddInflateFlag(CLI::App& command, bool& inflate) {
    command.add_flag(
        "--inflate", inflate,
        "inflate a CWS or ZWS movie in memory (up to 256 MiB) and load it (up to 4 MiB)");
}

void AddLenientFlag(CLI::App& command, bool& lenient) {
    command.add_flag("--lenient", lenient,
                     "read a broken movie as far as it goes and report its faults (exit 1)");
}

// Each occurrence of a repeated option takes exactly one value, so that none swallows the
// operands after it.
CLI::Option* OneValueEach(CLI::Option* option) {
    return option->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void AddEmbeddedOption(CLI::App& command, std::vector<std::uint64_t>& embedded) {
    OneValueEach(command.add_option("--embedded", embedded,
                                    "read the movie in the data of DefineBinaryData item N "
                                    "instead (repeatable: one level deeper each)"))
        ->type_name("N")
        ->check(kDecimalNumber);
}

}  // namespace

struct CommandLine::Values {
    bool json = false;
    bool inflate = false;
    bool lenient = false;
    std::vector<std::uint64_t> embedded;
    std::string file;
    SaveOptions save;
    ScanOptions scan;
    ExtractOptions extract;
    RepairOptions repair;
    ConvertOptions convert;
};

CommandLine::CommandLine()
    : values_(std::make_unique<Values>()),
      app_(std::make_unique<CLI::App>(
          "Inspects and trims uncompressed Shockwave Flash movies (FWS) as the Velpin window "
          "does, converts compressed ones (CWS, ZWS), and describes whole collections.",
          "velpin-cli")) {
    app_->set_version_flag("--version", "velpin-cli " VELPIN_VERSION, "print the version and exit");
    app_->set_help_flag("-h,--help", "print this help and exit");
    app_->require_subcommand(1);
    app_->get_formatter()->column_width(34);
    AddSubcommands();
}

CommandLine::~CommandLine() = default;

void CommandLine::AddSubcommands() {
    Values& v = *values_;
    const auto movieCommand = [this, &v](const char* name, const char* description,
                                         int (*run)(const MovieCommandInput&)) {
        CLI::App* command = app_->add_subcommand(name, description);
        command->add_flag("--json", v.json, "print JSON instead of text");
        AddInflateFlag(*command, v.inflate);
        AddEmbeddedOption(*command, v.embedded);
        AddLenientFlag(*command, v.lenient);
        command->add_option("FILE", v.file, "the movie")->required();
        command->callback([this, &v, run] {
            run_ = [&v, run] {
                return run({{v.file, v.inflate, v.lenient, v.embedded},
                            v.json ? OutputMode::Json : OutputMode::Plain});
            };
        });
    };
    movieCommand("tree", "print the tree the window shows, one node per line", RunTreeCommand);
    movieCommand("tags",
                 "print the tag list: index, offset, code, name, header and body length, depth, "
                 "frame, icon and a DoAction's first action",
                 RunTagsCommand);
    movieCommand("info",
                 "print what the movie declares, references and hides: its settings, the assets "
                 "it names, the URLs and files its code names, and what looks odd",
                 RunInfoCommand);

    CLI::App* save = app_->add_subcommand(
        "save", "delete tags by index or by code, then save the rest as the window's Save As does");
    OneValueEach(save->add_option("--delete", v.save.deleteIndices,
                                  "delete item N of the list as `tags` numbers it (repeatable)"))
        ->type_name("N")
        ->check(kDecimalNumber);
    OneValueEach(save->add_option("--delete-code",
                                  "delete every item with one of these tag codes, 0 to 1023 "
                                  "(repeatable)"))
        ->type_name("C[,C...]")
        ->each(AppendParsed(ParseTagCodeList, v.save.deleteCodes, false));
    AddInflateFlag(*save, v.save.inflate);
    AddEmbeddedOption(*save, v.save.embedded);
    save->add_flag("--fws", v.save.fws,
                   "with --inflate, save uncompressed rather than in the movie's own container");
    save->add_option("IN", v.save.in, "the movie")->required();
    save->add_option("OUT", v.save.out, "the file to write")->required();
    save->callback([this, &v] { run_ = [&v] { return RunSaveCommand(v.save); }; });

    CLI::App* scan = app_->add_subcommand(
        "scan",
        "print one JSON line per movie of the files, folders and containers given, in path order");
    scan->add_option("-j,--jobs", v.scan.jobs,
                     "load N movies at once, 1 to 1024 (default: one per processor); with 1, "
                     "the whole scan runs on one thread")
        ->type_name("N")
        ->check(kDecimalNumber)
        ->check(QuietRange(kMinScanJobs, kMaxScanJobs));
    AddInflateFlag(*scan, v.scan.inflate);
    scan->add_flag("--info", v.scan.info,
                   "add each loaded movie's info, as `info --json` gives it");
    scan->add_flag("--nested", v.scan.nested,
                   "add a row for each movie inside a movie's binary data, three levels deep");
    scan->add_flag("--deps", v.scan.deps,
                   "add the files and URLs each movie references, present, missing or external");
    AddLenientFlag(*scan, v.scan.lenient);
    OneValueEach(scan->add_option(
                     "--hash", "add digests of each movie as stored: sha256,sha1,md5,crc32,xxh128"))
        ->type_name("ALG[,ALG...]")
        ->each(AppendParsed(ParseHashList, v.scan.hashes, true));
    OneValueEach(scan->add_option("--files-from", v.scan.filesFrom,
                                  "also scan the paths in FILE, one a line; - is standard input"))
        ->type_name("FILE");
    OneValueEach(scan->add_option("--files0-from", v.scan.files0From,
                                  "the same, with the paths separated by NUL bytes"))
        ->type_name("FILE");
    scan->add_option("--stdin-name", v.scan.stdinName, "the path the rows of - carry (default: -)")
        ->type_name("NAME");
    scan->add_option("PATH", v.scan.paths,
                     "a movie or container (by content), or a folder to walk for both; - reads "
                     "one movie or container from standard input");
    scan->callback([this, &v] {
        if (v.scan.paths.empty() && v.scan.filesFrom.empty() && v.scan.files0From.empty()) {
            throw CLI::RequiredError("PATH");
        }
        std::size_t readers = 0;
        for (const auto* names : {&v.scan.paths, &v.scan.filesFrom, &v.scan.files0From}) {
            readers += static_cast<std::size_t>(std::count(names->begin(), names->end(), "-"));
        }
        if (readers > 1) {
            throw CLI::ValidationError("-", "standard input can be read only once");
        }
        run_ = [&v] { return RunScanCommand(v.scan); };
    });

    CLI::App* extract = app_->add_subcommand(
        "extract", "write one item's stored bytes to a file or to standard output");
    extract->add_option("--index", v.extract.index, "the item, numbered as `tags` numbers it")
        ->type_name("N")
        ->required()
        ->check(kDecimalNumber);
    extract->add_flag("--body", v.extract.body, "the body alone, without the tag header");
    extract
        ->add_flag("--data", v.extract.data,
                   "a DefineBinaryData item's data alone, without its id and reserved bytes")
        ->excludes("--body");
    AddInflateFlag(*extract, v.extract.inflate);
    AddEmbeddedOption(*extract, v.extract.embedded);
    AddLenientFlag(*extract, v.extract.lenient);
    extract->add_option("IN", v.extract.in, "the movie")->required();
    extract->add_option("OUT", v.extract.out, "the file to write; - or none: standard output");
    extract->callback([this, &v] { run_ = [&v] { return RunExtractCommand(v.extract); }; });

    CLI::App* repair = app_->add_subcommand(
        "repair", "read a broken movie as far as it goes and write it back as one that loads");
    AddInflateFlag(*repair, v.repair.inflate);
    repair->add_flag("--fws", v.repair.fws,
                     "with --inflate, write uncompressed rather than in the movie's own container");
    repair->add_flag("--json", v.repair.json, "print the report as JSON on standard output");
    repair->add_option("IN", v.repair.in, "the movie")->required();
    repair->add_option("OUT", v.repair.out, "the file to write; it may be IN")->required();
    repair->callback([this, &v] { run_ = [&v] { return RunRepairCommand(v.repair); }; });

    CLI::App* inflate =
        app_->add_subcommand("inflate", "turn a compressed movie (CWS or ZWS) into FWS");
    inflate->add_flag("-v", v.convert.verbose, "print a one-line summary");
    inflate->add_option("IN", v.convert.in, "the compressed movie")->required();
    inflate->add_option("OUT", v.convert.out, "the file to write")->required();
    inflate->callback([this, &v] { run_ = [&v] { return RunInflateCommand(v.convert); }; });

    CLI::App* compress =
        app_->add_subcommand("compress", "turn an FWS movie into CWS (zlib) or ZWS (LZMA)");
    compress->add_flag("--lzma", v.convert.lzma, "write ZWS (LZMA) instead of CWS (zlib)");
    compress->add_option("IN", v.convert.in, "the movie")->required();
    compress->add_option("OUT", v.convert.out, "the file to write")->required();
    compress->callback([this, &v] { run_ = [&v] { return RunCompressCommand(v.convert); }; });
}

int CommandLine::UsageFailure(const std::string& problem) const {
    std::string command = "velpin-cli";
    for (const CLI::App* subcommand : app_->get_subcommands()) {
        command += " " + subcommand->get_name();
    }
    WriteErrorLine(problem + " (see '" + command + " --help')");
    return exitUsage;
}

int CommandLine::Run(int argc, const char* const* argv) {
    // CLI11 would only say that a subcommand is required.
    if (argc >= 2 && argv[1][0] != '-') {
        const std::vector<CLI::App*> known = app_->get_subcommands({});
        if (std::none_of(known.begin(), known.end(),
                         [&](const CLI::App* command) { return command->get_name() == argv[1]; })) {
            return UsageFailure(std::string("unknown subcommand ") + argv[1]);
        }
    }
    try {
        app_->parse(argc, argv);
    } catch (const CLI::Success& success) {
        // --help and --version, which CLI11 prints on standard output.
        const int status = app_->exit(success);
        return std::fflush(stdout) == 0 ? status : static_cast<int>(exitFailure);
    } catch (const CLI::ParseError& error) {
        return UsageFailure(error.what());
    }
    int status;
    try {
        status = run_();
    } catch (const Error& error) {
        if (error.Class() != ErrorClass::Usage) {
            throw;
        }
        return UsageFailure(error.what());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        WriteErrorLine("cannot write standard output");
        return exitFailure;
    }
    return status;
}

const std::vector<std::pair<std::string, std::string>>& ExitStatuses() {
    static const std::vector<std::pair<std::string, std::string>> statuses = {
        {"0", "success"},
        {"1",
         "a movie failed to load, a file could not be read or written, (scan) any movie "
         "failed, or (--lenient) a movie has faults"},
        {"2", "bad usage: nothing was written"},
        {"3",
         "(scan) some input could not be read at all: a path that is missing or cannot be "
         "opened, or a read that failed; worth running again, unlike 1. It wins over 1"},
    };
    return statuses;
}

const std::vector<std::pair<std::string, std::string>>& Examples() {
    static const std::vector<std::pair<std::string, std::string>> examples = {
        {"Inspect a movie, compressed or not:", "velpin-cli tree --inflate movie.swf"},
        {"List its tags as JSON:", "velpin-cli tags --json movie.swf"},
        {"See which servers and files it reaches for:", "velpin-cli info --inflate movie.swf"},
        {"Strip the debugging tags, keeping the movie's compression:",
         "velpin-cli save --inflate --delete-code 58,64 game.swf game-release.swf"},
        {"Scan a collection with two jobs:",
         "velpin-cli scan --inflate -j 2 ~/swf-archive > archive.jsonl"},
        {"Scan the movies inside a zip and a web archive, with their SHA-256:",
         "velpin-cli scan --inflate --hash sha256 games.zip crawl.warc.gz"},
        {"Inflate a movie for the window:", "velpin-cli inflate movie.swf movie-fws.swf"},
        {"See how far a broken movie goes, and mend it:",
         "velpin-cli tags --lenient --inflate cut.swf; velpin-cli repair --inflate cut.swf "
         "mended.swf"},
    };
    return examples;
}

}  // namespace velpin
