#include "cli/command_line.h"

#include <algorithm>
#include <cstdio>

#include "archive/archive_libraries.h"
#include "base/error.h"
#include "cli/commands/codec_commands.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "codec/codec_libraries.h"
#include "codec/digest_libraries.h"
#include "export/export_libraries.h"
#include "report/messages.h"
#include "report/output.h"

namespace velpin {

struct CommandLine::Values {
    MovieCommandOptions movie;  // tree, tags and info: one is given
    SaveOptions save;
    ScanCommandOptions scan;
    ExtractOptions extract;
    RepairOptions repair;
    ExportOptions exported;
    ConvertOptions convert;  // inflate and compress: one is given
};

CommandLine::CommandLine()
    : values_(std::make_unique<Values>()),
      app_(std::make_unique<CLI::App>(
          "Inspects and trims uncompressed Shockwave Flash movies (FWS) as the Velpin window "
          "does, converts compressed ones (CWS, ZWS), and describes whole collections.",
          "velpin-cli")) {
    app_->set_version_flag(
        "--version",
        [] {
            LibraryVersions libraries = CodecLibraries();
            for (const LibraryVersions& more :
                 {ArchiveLibraries(), DigestLibraries(), ExportLibraries()}) {
                libraries.insert(libraries.end(), more.begin(), more.end());
            }
            // Header-only, so only what it was built with.
            libraries.push_back({"CLI11", CLI11_VERSION, ""});
            std::string text = VersionText("velpin-cli " VELPIN_VERSION, libraries);
            // CLI11 ends what it prints with a line end of its own.
            text.pop_back();
            return text;
        },
        "print the version, and those of the libraries it was built with and runs on, and exit");
    app_->set_help_flag("-h,--help", "print this help and exit");
    app_->require_subcommand(1);
    app_->get_formatter()->column_width(34);
    AddSubcommands();
}

CommandLine::~CommandLine() = default;

void CommandLine::AddSubcommands() {
    // In the order the help, the manual page and the completion list them.
    Values& v = *values_;
    CLI::App& app = *app_;
    AddTreeCommand(app, v.movie, run_);
    AddTagsCommand(app, v.movie, run_);
    AddInfoCommand(app, v.movie, run_);
    AddSaveCommand(app, v.save, run_);
    AddScanCommand(app, v.scan, run_);
    AddExtractCommand(app, v.extract, run_);
    AddRepairCommand(app, v.repair, run_);
    AddExportCommand(app, v.exported, run_);
    AddInflateCommand(app, v.convert, run_);
    AddCompressCommand(app, v.convert, run_);
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
        return std::fflush(stdout) == 0 ? status : static_cast<int>(exitUnwritable);
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
        return UsageFailure(error.File().empty() ? std::string(error.what())
                                                 : error.File() + ": " + error.what());
    }
    // Whatever the command made of its inputs, output that did not arrive whole is a failure of
    // its own, which a retry may mend.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        WriteErrorLine("cannot write standard output");
        return exitUnwritable;
    }
    return status;
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
        {"Load only the movies the window opens, up to 4 MiB:",
         "velpin-cli scan --inflate --max-size 4M ~/swf-archive > window.jsonl"},
        {"Fetch a movie's WARC record back by the offset and length its scan row gives (a gzip "
         "member in a .warc.gz):",
         "dd if=crawl.warc.gz iflag=skip_bytes,count_bytes skip=OFFSET count=LENGTH status=none "
         "| gunzip > record.warc"},
        {"Inflate a movie for the window:", "velpin-cli inflate movie.swf movie-fws.swf"},
        {"Write the images and sounds of a movie as files, with a manifest:",
         "velpin-cli export --inflate --only images,sounds game.swf game-assets"},
        {"Export the assets of a whole collection, each movie once:",
         "velpin-cli scan --inflate --export assets ~/swf-archive > archive.jsonl"},
        {"See how far a broken movie goes, and mend it:",
         "velpin-cli tags --lenient --inflate cut.swf; velpin-cli repair --inflate cut.swf "
         "mended.swf"},
    };
    return examples;
}

}  // namespace velpin
