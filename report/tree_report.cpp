#include "report/tree_report.h"

#include <unordered_map>

#include "report/faults.h"
#include "report/json_writer.h"
#include "report/output.h"

namespace velpin {

void PrintTreeText(const NodeStore& tree) {
    StdoutWriter out;
    tree.VisitPreOrder([&](TreeNode node, int depth) {
        std::string& line = out.Buffer();
        line.append(static_cast<std::size_t>(depth) * 2, ' ');
        tree.AppendTextTo(line, node);
        line.push_back('\n');
        out.MaybeFlush();
    });
}

namespace {

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

}  // namespace

void PrintTreeJson(const NodeStore& tree, const CInputScript& movie, const LoadedInput& loaded) {
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
        json.Key("icon");
        json.Integer(tree.Image(at));
        json.Key("selectedIcon");
        json.Integer(tree.SelectedImage(at));
        json.Key("index");
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

}  // namespace velpin
