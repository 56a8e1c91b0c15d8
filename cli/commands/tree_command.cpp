// velpin-cli tree: the tree the window shows, built by the same presentation code into the same
// node store.
#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "report/tree_report.h"

namespace velpin {

void AddTreeCommand(CLI::App& app, MovieCommandOptions& options, CommandRun& run) {
    AddMovieCommand(app, "tree", "print the tree the window shows, one node per line",
                    RunTreeCommand, options, run);
}

int RunTreeCommand(const MovieCommandInput& input) {
    return RunOnLoadedMovie(input, [&](CInputScript& movie, const LoadedInput& loaded) {
        // The nodes refer to the document's items, so the tree goes before the document does;
        // releasing the items first, under a live tree, costs a large movie 5% more.
        NodeStore tree;
        FrameNodeTable frameNodes;
        BuildMovieTree(movie, tree, frameNodes);
        if (input.mode == OutputMode::Json) {
            PrintTreeJson(tree, movie, loaded);
        } else {
            PrintTreeText(tree);
        }
        return static_cast<int>(exitOk);
    });
}

}  // namespace velpin
