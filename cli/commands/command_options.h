// What the subcommands' options share: how each command adds itself to the one command line, the
// checks of numbers and lists, and the flags several commands take alike.
#pragma once

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands/command_support.h"

namespace velpin {

// What the command line runs once it is parsed: set by the callback of the subcommand given.
using CommandRun = std::function<int()>;

// CLI11 takes "+1" and other forms strtoull accepts, and saturates a value too large; an index or
// a count is decimal digits only, as `tags` prints them, and one beyond every list is named as
// given.
CLI::Validator DecimalNumber();

// A range check that adds nothing to the option's type name: the description says the range, so
// that every option fits on one line of the help.
CLI::Range QuietRange(unsigned min, unsigned max);

// Each occurrence of a repeated option takes exactly one value, so that none swallows the
// operands after it.
CLI::Option* OneValueEach(CLI::Option* option);

// Says which words `option`'s values are made of, for the shell completion; returns `option`.
CLI::Option* WithChoices(CLI::Option* option, std::vector<std::string> words);
// The words given to WithChoices, or none.
const std::vector<std::string>* ChoicesOf(const CLI::Option& option);

// What one exit status of a command means.
struct ExitStatusMeaning {
    int status;
    std::string meaning;
};

// Says what each exit status of `command` means, in its help and its manual page; bad usage (2)
// and an output that could not be written (4) are added to every list. Returns `command`.
CLI::App* WithExitStatuses(CLI::App* command, std::vector<ExitStatusMeaning> statuses);
// The statuses given to WithExitStatuses, the two added included, or none.
const std::vector<ExitStatusMeaning>* ExitStatusesOf(const CLI::App& command);

void AddInflateFlag(CLI::App& command, bool& inflate);
// --max-size SIZE, for every command that loads a movie: bytes, or with K, M or G (powers of
// 1024), from the smallest movie to kMostMovieBytesAllowed.
void AddMaxSizeOption(CLI::App& command, std::int64_t& maxSize);
// The byte count a --max-size value gives, or nothing when it is none: digits with an optional
// K, M or G, within the range the loader allows.
std::optional<std::int64_t> ParseMaxSize(std::string_view text);
void AddLenientFlag(CLI::App& command, bool& lenient);
void AddEmbeddedOption(CLI::App& command, std::vector<std::uint64_t>& embedded);

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

// What tree, tags and info are given: one movie, how to read it, and the form of the output.
struct MovieCommandOptions {
    bool json = false;
    bool inflate = false;
    bool lenient = false;
    std::vector<std::uint64_t> embedded;
    std::int64_t maxSize = kDefaultMaxSize;
    std::string file;
};

// Adds a command that works on one loaded movie, with the options of MovieCommandOptions, which
// sets `run` to call `command` once it is parsed.
void AddMovieCommand(CLI::App& app, const char* name, const char* description,
                     int (*command)(const MovieCommandInput&), MovieCommandOptions& options,
                     CommandRun& run);

}  // namespace velpin
