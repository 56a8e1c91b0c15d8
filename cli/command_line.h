// velpin-cli's command line, defined once: every subcommand, its options with their types and
// ranges, and its operands. The program parses with it, and its manual page and its bash
// completion are generated from it at build time, so none of the three can drift from another.
// Each subcommand defines its options in its own file under cli/commands/, beside what it runs;
// a new subcommand is added to the command line in command_line.cpp.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velpin {

class CommandLine {
  public:
    CommandLine();
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // The parser, for the generators of the manual page and the completion.
    const CLI::App& App() const { return *app_; }

    // Parses the arguments and runs the subcommand they name; returns the exit status. --help
    // and --version print to standard output and succeed; bad usage gives one line on standard
    // error and exitUsage, before any file is written.
    int Run(int argc, const char* const* argv);

  private:
    struct Values;

    void AddSubcommands();
    int UsageFailure(const std::string& problem) const;

    std::unique_ptr<Values> values_;
    std::unique_ptr<CLI::App> app_;
    std::function<int()> run_;
};

// What the manual page tells beside the options and the exit statuses: an example of each
// common task, as pairs of what it does and the command.
const std::vector<std::pair<std::string, std::string>>& Examples();

}  // namespace velpin
