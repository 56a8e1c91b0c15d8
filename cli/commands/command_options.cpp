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
    command.add_flag(
        "--inflate", inflate,
        "inflate a CWS or ZWS movie in memory (up to 256 MiB) and load it (up to 4 MiB)");
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
    AddEmbeddedOption(*movieCommand, options.embedded);
    AddLenientFlag(*movieCommand, options.lenient);
    movieCommand->add_option("FILE", options.file, "the movie")->required();
    movieCommand->callback([&options, &run, command] {
        run = [&options, command] {
            return command({{options.file, options.inflate, options.lenient, options.embedded},
                            options.json ? OutputMode::Json : OutputMode::Plain});
        };
    });
}

}  // namespace velpin
