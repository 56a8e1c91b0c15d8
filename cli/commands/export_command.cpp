// velpin-cli export: the images, sounds, data and scripts a movie holds, as files in a folder,
// with their manifest.
#include "base/error.h"
#include "cli/commands/commands.h"
#include "export/asset_kinds.h"
#include "export/movie_export.h"
#include "report/export_report.h"
#include "report/output.h"

namespace velpin {

void AddExportCommand(CLI::App& app, ExportOptions& options, CommandRun& run) {
    CLI::App* command = WithExitStatuses(
        app.add_subcommand("export",
                           "write the images, sounds, data and scripts of a movie as files in a "
                           "folder"),
        {{exitOk, "every asset was written"},
         {exitFailure,
          "the movie could not be loaded, an asset could not be exported (its manifest line says "
          "why), a file of the same name is in DIR (and nothing was written), or a file could not "
          "be written"}});
    AddInflateFlag(*command, options.inflate);
    AddMaxSizeOption(*command, options.maxSize);
    AddLenientFlag(*command, options.lenient);
    AddEmbeddedOption(*command, options.embedded);
    const std::vector<std::string_view> kindWords = AssetKindWords();
    std::string kindList;
    for (const std::string_view word : kindWords) {
        kindList += (kindList.empty() ? "" : ",") + std::string(word);
    }
    WithChoices(OneValueEach(command->add_option("--only"))
                    ->description("export only these kinds: " + kindList)
                    ->type_name("KIND[,KIND...]")
                    ->each(AppendParsed(ParseAssetKinds, options.kinds, true)),
                std::vector<std::string>(kindWords.begin(), kindWords.end()));
    command->add_option("IN", options.in, "the movie")->required();
    command
        ->add_option("DIR", options.folder,
                     "the folder to write to, created when missing; no file in it is overwritten")
        ->required();
    command->callback([&options, &run] { run = [&options] { return RunExportCommand(options); }; });
}

int RunExportCommand(const ExportOptions& options) {
    return RunOnLoadedMovie(
        {{options.in, options.inflate, options.lenient, options.embedded, options.maxSize},
         OutputMode::Plain},
        [&](CInputScript& movie, const LoadedInput&) {
            std::vector<AssetPlan> plans = PlanMovieExport(movie, options.kinds);
            ExportCounts counts;
            try {
                counts = WriteMovieExport(plans, options.folder, AppendManifestLine);
            } catch (const Error& error) {
                if (error.Subject() != ErrorSubject::Output) {
                    throw;
                }
                WriteErrorLine(error.File(), error.what());
                return static_cast<int>(exitFailure);
            }
            for (const AssetPlan& plan : plans) {
                if (plan.asset.error) {
                    WriteErrorLine(options.in, AssetFailureLine(plan.asset));
                }
            }
            WriteNoteLine(ExportSummaryLine(counts, options.folder));
            return static_cast<int>(counts.errors == 0 ? exitOk : exitFailure);
        });
}

}  // namespace velpin
