// velpin-cli tree: the tree the window shows, built by the same presentation code into the same
// node store.
#include <unordered_map>

#include "Unit1/presentation/MovieTreeBuilder.h"
#include "Unit1/presentation/NodeStore.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"
#include "cli/json/json_writer.h"

namespace {

void PrintText(const NodeStore& tree) {
    StdoutWriter out;
    tree.VisitPreOrder([&](TreeNode node, int depth) {
        std::string& line = out.Buffer();
        line.append(static_cast<std::size_t>(depth) * 2, ' ');
        tree.AppendTextTo(line, node);
        line.push_back('\n');
        out.MaybeFlush();
    });
}

// The list index of each tag node's item. The presentation adds tag nodes in list order, and the
// tree's order follows it, so the next item in the list is nearly always the one asked for; any
// other (frame numbers that wrapped, for instance) is looked up in a table made when first needed.
class TagIndexer {
  public:
    explicit TagIndexer(const CInputScript& movie) : movie_(movie), next_(movie.FirstTag) {}

    std::size_t IndexOf(const TagItem* item) {
        if (item == next_) {
            next_ = next_->Next;
            return nextIndex_++;
        }
        if (table_.empty()) {
            std::size_t index = 0;
            for (const TagItem* at = movie_.FirstTag; at != nullptr; at = at->Next) {
                table_.emplace(at, index++);
            }
        }
        return table_.at(item);
    }

  private:
    const CInputScript& movie_;
    const TagItem* next_;
    std::size_t nextIndex_ = 0;
    std::unordered_map<const TagItem*, std::size_t> table_;
};

// One node per line, indented by its depth; a node's children follow on the lines after it.
void PrintJson(const NodeStore& tree, const CInputScript& movie) {
    TagIndexer tagIndexer(movie);
    StdoutWriter out;
    std::string& text = out.Buffer();
    std::string nodeText;
    const TreeNode root = tree.FirstTopLevel();
    TreeNode at = root;
    std::size_t depth = 0;
    while (at != kNoNode) {
        text.append(depth * 2, ' ');
        text += "{\"text\": ";
        nodeText.clear();
        tree.AppendTextTo(nodeText, at);
        AppendJsonString(text, nodeText);
        text += ", \"image\": ";
        AppendDecimal(text, tree.Image(at));
        text += ", \"selectedImage\": ";
        AppendDecimal(text, tree.SelectedImage(at));
        text += ", \"tag\": ";
        const TagItem* const item = tree.Data(at);
        if (item == nullptr) {
            text += "null";
        } else {
            AppendDecimal(text, static_cast<std::int64_t>(tagIndexer.IndexOf(item)));
        }
        text += ", \"children\": [";
        out.MaybeFlush();
        if (tree.FirstChild(at) != kNoNode) {
            text += '\n';
            at = tree.FirstChild(at);
            ++depth;
            continue;
        }
        text += "]}";
        while (at != root && tree.NextSibling(at) == kNoNode) {
            at = tree.Parent(at);
            --depth;
            text += '\n';
            text.append(depth * 2, ' ');
            text += "]}";
        }
        if (at == root) {
            text += '\n';
            break;
        }
        text += ",\n";
        at = tree.NextSibling(at);
    }
}

}  // namespace

int RunTreeCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed =
        ParseArguments(args, {{"--json", false}, {"--inflate", false}}, 1);
    const OutputMode mode = parsed.Has("--json") ? OutputMode::Json : OutputMode::Plain;
    const std::string& path = parsed.operands[0];
    return RunReportingRaisedErrors(mode, [&]() {
        ScopedMovie document;
        CInputScript& movie = document.movie;
        FrameNodeTable frameNodes;
        NodeStore tree;
        HeadlessShell shell;
        const std::int32_t result =
            OpenMovieWithLoad(movie, frameNodes, tree, shell, [&](CInputScript& script) {
                return LoadMovieInput(script, path, parsed.Has("--inflate"));
            });
        if (result != loadOk) {
            return ReportLoadFailure(result, mode, path);
        }
        if (mode == OutputMode::Json) {
            PrintJson(tree, movie);
        } else {
            PrintText(tree);
        }
        return static_cast<int>(exitOk);
    });
}
