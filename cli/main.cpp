// velpin-cli: the window's view of a movie, and its Delete Tag and Save As, without a display;
// and the same for whole collections of movies, compressed ones included.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands/cli_support.h"
#include "cli/commands/codec_commands.h"
#include "cli/commands/commands.h"

namespace {

struct Subcommand {
    const char* name;
    const char* synopsis;  // what follows the name on the command line
    int (*run)(const std::vector<std::string>& args);
};

// Add a subcommand here; the usage text follows from this table.
constexpr Subcommand kSubcommands[] = {
    {"tree", "[--json] [--inflate] FILE", RunTreeCommand},
    {"tags", "[--json] [--inflate] FILE", RunTagsCommand},
    {"info", "[--json] [--inflate] FILE", RunInfoCommand},
    {"save", "[--delete N]... [--delete-code C[,C...]]... [--inflate] [--fws] IN OUT",
     RunSaveCommand},
    {"scan", "[--jobs N] [--inflate] [--info] PATH...", RunScanCommand},
    {"extract", "--index N [--body] [--inflate] IN [OUT]", RunExtractCommand},
    {"inflate", "[-v] IN OUT", RunInflateCommand},
    {"compress", "[--lzma] IN OUT", RunCompressCommand},
};

std::string UsageText() {
    std::string text;
    for (const Subcommand& subcommand : kSubcommands) {
        text += text.empty() ? "usage: " : "       ";
        text += std::string("velpin-cli ") + subcommand.name + " " + subcommand.synopsis + "\n";
    }
    return text;
}

int UsageFailure(const std::string& problem) {
    std::fputs(("velpin-cli: " + problem + "\n" + UsageText()).c_str(), stderr);
    return exitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return UsageFailure("missing subcommand");
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h") {
        std::fputs(UsageText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? exitOk : exitFailure;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Subcommand& subcommand : kSubcommands) {
        if (name != subcommand.name) {
            continue;
        }
        int status;
        try {
            status = subcommand.run(args);
        } catch (const UsageError& error) {
            return UsageFailure(error.what());
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fputs("velpin-cli: cannot write standard output\n", stderr);
            return exitFailure;
        }
        return status;
    }
    return UsageFailure("unknown subcommand " + name);
}
