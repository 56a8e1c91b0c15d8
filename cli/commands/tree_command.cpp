// velpin-cli tree: the tree the window shows, built by the same presentation code into the same
// node store.
#include <unordered_map>

#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/json_envelope.h"
#include "cli/commands/movie_faults.h"
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

// The root in the envelope's "tree", one node per line, indented by its depth; a node's children
// follow on the lines after it. After a lenient read the faults come before it.
void PrintJson(const NodeStore& tree, const CInputScript& movie, const LoadedInput& loaded) {
    TagIndexer tagIndexer(movie);
    StdoutWriter out;
    JsonWriter json(out.Buffer(), 2);
    json.BeginObject();
    WriteLoadMembers(json, loaded);
    json.Key("tree");
    std::string nodeText;
    const TreeNode root = tree.FirstTopLevel();
    TreeNode at = root;
    while (at != kNoNode) {
        json.BeginObject();
        json.Key("text");
        nodeText.clear();
        tree.AppendTextTo(nodeText, at);
        json.String(nodeText);
        json.Key("image");
        json.Integer(tree.Image(at));
        json.Key("selectedImage");
        json.Integer(tree.SelectedImage(at));
        json.Key("tag");
        const TagItem* const item = tree.Data(at);
        if (item == nullptr) {
            json.Null();
        } else {
            json.Integer(static_cast<std::int64_t>(tagIndexer.IndexOf(item)));
        }
        json.Key("children");
        json.BeginArray(JsonWriter::Layout::OneElementPerLine);
        out.MaybeFlush();
        if (tree.FirstChild(at) != kNoNode) {
            at = tree.FirstChild(at);
            continue;
        }
        json.EndArray();
        json.EndObject();
        while (at != root && tree.NextSibling(at) == kNoNode) {
            at = tree.Parent(at);
            json.EndArray();
            json.EndObject();
        }
        if (at == root) {
            json.EndObject();
            out.Put("\n");
            break;
        }
        at = tree.NextSibling(at);
    }
}

}  // namespace

int RunTreeCommand(const MovieCommandInput& input) {
    return RunOnLoadedMovie(input, [&](CInputScript& movie, const LoadedInput& loaded) {
        // The nodes refer to the document's items, so the tree goes before the document does;
        // releasing the items first, under a live tree, costs a large movie 5% more.
        NodeStore tree;
        FrameNodeTable frameNodes;
        BuildMovieTree(movie, tree, frameNodes);
        if (input.mode == OutputMode::Json) {
            PrintJson(tree, movie, loaded);
        } else {
            PrintText(tree);
        }
        return static_cast<int>(exitOk);
    });
}
