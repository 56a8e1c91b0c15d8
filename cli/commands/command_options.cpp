#include "cli/commands/command_options.h"

#include <charconv>
#include <map>

namespace velpin {

CLI::Validator DecimalNumber() {
    return CLI::Validator(
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
}

CLI::Range QuietRange(unsigned min, unsigned max) {
    CLI::Range range(min, max);
    range.description("");
    return range;
}

CLI::Option* OneValueEach(CLI::Option* option) {
    return option->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

namespace {

// The command line is made once per process, as is this table beside it.
std::map<const CLI::Option*, std::vector<std::string>>& Choices() {
    static std::map<const CLI::Option*, std::vector<std::string>> choices;
    return choices;
}

std::map<const CLI::App*, std::vector<ExitStatusMeaning>>& StatusMeanings() {
    static std::map<const CLI::App*, std::vector<ExitStatusMeaning>> meanings;
    return meanings;
}

}  // namespace

CLI::Option* WithChoices(CLI::Option* option, std::vector<std::string> words) {
    Choices()[option] = std::move(words);
    return option;
}

const std::vector<std::string>* ChoicesOf(const CLI::Option& option) {
    const auto found = Choices().find(&option);
    return found != Choices().end() ? &found->second : nullptr;
}

CLI::App* WithExitStatuses(CLI::App* command, std::vector<ExitStatusMeaning> statuses) {
    statuses.push_back({exitUsage, "bad usage: nothing was written"});
    statuses.push_back({exitUnwritable,
                        "the output could not be written (standard output, or a file OUT: a full "
                        "disk, no access, a missing folder), so what was written is incomplete; "
                        "it wins over every other status"});
    std::sort(statuses.begin(), statuses.end(),
              [](const auto& left, const auto& right) { return left.status < right.status; });
    std::string footer = "Exit status:";
    for (const ExitStatusMeaning& status : statuses) {
        footer += "\n  " + std::to_string(status.status) + "  " + status.meaning;
    }
    command->footer(footer);
    StatusMeanings()[command] = std::move(statuses);
    return command;
}

const std::vector<ExitStatusMeaning>* ExitStatusesOf(const CLI::App& command) {
    const auto found = StatusMeanings().find(&command);
    return found != StatusMeanings().end() ? &found->second : nullptr;
}

void AddInflateFlag(CLI::App& command, bool& inflate) {
    command.add_flag("--inflate", inflate,
                     "inflate a CWS or ZWS movie in memory and load it (up to --max-size)");
}

std::optional<std::int64_t> ParseMaxSize(std::string_view text) {
    int shift = 0;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K':
            case 'k':
                shift = 10;
                break;
            case 'M':
            case 'm':
                shift = 20;
                break;
            case 'G':
            case 'g':
                shift = 30;
                break;
            default:
                break;
        }
    }
    const std::string_view digits = shift != 0 ? text.substr(0, text.size() - 1) : text;
    std::int64_t count = 0;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos ||
        std::from_chars(digits.data(), digits.data() + digits.size(), count).ec != std::errc() ||
        count > (kMostMovieBytesAllowed >> shift)) {
        return std::nullopt;
    }
    const std::int64_t bytes = count << shift;
    if (bytes < kSmallestMovieBytes) {
        return std::nullopt;
    }
    return bytes;
}

void AddMaxSizeOption(CLI::App& command, std::int64_t& maxSize) {
    command
        .add_option("--max-size", maxSize,
                    "the largest movie loaded, in bytes or with K, M or G (powers of 1024), "
                    "21 to 2G-1 (default: 256M)")
        ->type_name("SIZE")
        ->transform(CLI::Validator(
            [](std::string& text) {
                const std::optional<std::int64_t> bytes = ParseMaxSize(text);
                if (!bytes) {
                    return "not a size from 21 bytes to 2G-1: " + text;
                }
                text = std::to_string(*bytes);
                return std::string();
            },
            ""));
}

void AddLenientFlag(CLI::App& command, bool& lenient) {
    command.add_flag("--lenient", lenient,
                     "read a broken movie as far as it goes and report its faults (exit 1)");
}

void AddEmbeddedOption(CLI::App& command, std::vector<std::uint64_t>& embedded) {
    OneValueEach(command.add_option("--embedded", embedded,
                                    "read the movie in the data of DefineBinaryData item N "
                                    "instead (repeatable: one level deeper each)"))
        ->type_name("N")
        ->check(DecimalNumber());
}

void AddMovieCommand(CLI::App& app, const char* name, const char* description,
                     int (*command)(const MovieCommandInput&), MovieCommandOptions& options,
                     CommandRun& run) {
    CLI::App* movieCommand = WithExitStatuses(
        app.add_subcommand(name, description),
        {{exitOk, "the movie loaded (with --lenient: it has no faults)"},
         {exitFailure,
          "the movie could not be read or failed to load, or (with --lenient) it has faults, "
          "which are printed"}});
    movieCommand->add_flag("--json", options.json, "print JSON instead of text");
    AddInflateFlag(*movieCommand, options.inflate);
    AddMaxSizeOption(*movieCommand, options.maxSize);
    AddEmbeddedOption(*movieCommand, options.embedded);
    AddLenientFlag(*movieCommand, options.lenient);
    movieCommand->add_option("FILE", options.file, "the movie")->required();
    movieCommand->callback([&options, &run, command] {
        run = [&options, command] {
            return command({{options.file, options.inflate, options.lenient, options.embedded,
                             options.maxSize},
                            options.json ? OutputMode::Json : OutputMode::Plain});
        };
    });
}

}  // namespace velpin
