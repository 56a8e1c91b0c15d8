#include "Unit1/presentation/BuildMovieTree.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "Unit1/presentation/FrameStatistics.h"
#include "swfff/vocabulary.h"

namespace {

// Positions in the window's image list.
constexpr int kFileImage = 5;
constexpr int kHeaderImage = 3;
constexpr int kHeaderFieldImage = 4;

constexpr int kTwipsPerPixel = 20;

std::string FrameText(unsigned frame) {
    char text[24];
    std::snprintf(text, sizeof text, "Frame %5u", frame);
    return text;
}

// The Header group: the six fields in their order, the two frame size details under FrameSize.
void AddHeaderNodes(NodeStore& tv, TreeNode header, const MovieHeader& h) {
    auto field = [&](TreeNode parent, const std::string& text) {
        const TreeNode node = tv.AddChildLast(parent, text, nullptr);
        tv.SetImages(node, kHeaderFieldImage, kHeaderFieldImage);
        return node;
    };
    const FrameRectangle& r = h.FrameRect;
    // 64-bit differences, then truncating division: the same as 32-bit arithmetic for every
    // rectangle a 5-bit field width can encode, and no overflow for any other.
    const std::int64_t widthPixels = (std::int64_t{r.XMax} - r.XMin) / kTwipsPerPixel;
    const std::int64_t heightPixels = (std::int64_t{r.YMax} - r.YMin) / kTwipsPerPixel;

    field(header, "Sign SWF");
    field(header, "Version " + std::to_string(unsigned{h.Version}));
    field(header, "File length " + std::to_string(static_cast<std::int32_t>(h.FileLength)));
    const TreeNode frameSize =
        field(header, "FrameSize " + std::to_string(r.XMin) + " " + std::to_string(r.XMax) + " " +
                          std::to_string(r.YMin) + " " + std::to_string(r.YMax));
    field(frameSize, "Movie Width " + std::to_string(widthPixels) + " pixels");
    field(frameSize, "Movie Height " + std::to_string(heightPixels) + " pixels");
    field(header, "FrameRate " + std::to_string(unsigned{h.FrameRate} >> 8) + " fps");
    field(header, "FrameCount " + std::to_string(unsigned{h.FrameCount}));
}

// The frame node of `frameIndex`. A header may declare fewer frames than the file holds; the
// missing frame nodes are added in order behind the last one, so each tag still sits under its
// own frame.
TreeNode FrameNodeFor(NodeStore& tv, FrameNodeTable& frameNodes, TreeNode root,
                      std::uint16_t frameIndex) {
    const std::size_t slot = std::size_t{frameIndex} + 1;
    while (frameNodes.size() <= slot) {
        const auto frame = static_cast<unsigned>(frameNodes.size() - 1);
        frameNodes.push_back(tv.AddChildLast(root, FrameText(frame), nullptr));
    }
    return frameNodes[slot];
}

// The texts of tag nodes, each stored once: a movie has millions of tags but few distinct texts
// (a blank and the tag's name, for DoAction and ShowFrame with the first action or the frame
// index behind it).
class TagTexts {
  public:
    explicit TagTexts(NodeStore& tv) : tv_(tv) {}

    TextId For(const TagItem& item) {
        if (item.TagCode == tagDoAction) {
            // Action names fit in a short string's own bytes, so nothing here allocates but a
            // text not seen lately.
            std::string action = FirstActionName(item);
            RecentAction& recent =
                recentActions_[std::hash<std::string>{}(action) % recentActions_.size()];
            if (recent.text == kNoText || recent.action != action) {
                recent.action = std::move(action);
                recent.text = Store(tagDoAction, recent.action);
            }
            return recent.text;
        }
        if (item.TagCode == tagShowFrame) {
            if (showFrameTexts_.empty()) {
                showFrameTexts_.assign(std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1,
                                       kNoText);
            }
            TextId& id = showFrameTexts_[item.FrameIndex];
            if (id == kNoText) {
                id = Store(tagShowFrame, std::to_string(item.FrameIndex));
            }
            return id;
        }
        if (item.TagCode >= plainTexts_.size()) {
            plainTexts_.resize(std::size_t{item.TagCode} + 1, kNoText);
        }
        TextId& id = plainTexts_[item.TagCode];
        if (id == kNoText) {
            id = Store(item.TagCode, {});
        }
        return id;
    }

  private:
    static constexpr TextId kNoText = 0xFFFFFFFFu;

    // Stores a blank and the name of `code`, then a blank and `detail` unless it is empty. The
    // text is made in a buffer kept from call to call, so that storing one allocates nothing once
    // the buffer has grown.
    TextId Store(std::uint16_t code, std::string_view detail) {
        text_.assign(1, ' ');
        text_ += TagTypeName(code);
        if (!detail.empty()) {
            text_ += ' ';
            text_ += detail;
        }
        return tv_.StoreText(text_);
    }

    // A DoAction's text by its first action's name, among the names met lately. A table of
    // every name ever met costs a cache miss per look-up, which doubled the time of a movie of
    // half a million DoActions; this one stays in the cache, and the usual few names still share
    // their text.
    struct RecentAction {
        std::string action;
        TextId text = kNoText;
    };

    NodeStore& tv_;
    std::vector<TextId> plainTexts_;
    std::vector<TextId> showFrameTexts_;
    std::array<RecentAction, 1024> recentActions_;
    std::string text_;
};

}  // namespace

TreeNode BuildMovieTree(const CInputScript& movie, NodeStore& tv, FrameNodeTable& frameNodes) {
    const MovieHeader& header = movie.Header;
    const auto framesPerSecond = static_cast<std::uint8_t>(header.FrameRate >> 8);
    std::int64_t bytesSoFar = 0;

    const TreeNode root = tv.AddTopLevel(movie.FileName, nullptr);
    tv.SetImages(root, kFileImage, kFileImage);
    TreeNode lastTopLevelTag = root;

    frameNodes.assign(std::size_t{header.FrameCount} + 2, kNoNode);
    frameNodes[0] = tv.AddChildLast(root, "Header", nullptr);
    tv.SetImages(frameNodes[0], kHeaderImage, kHeaderImage);
    AddHeaderNodes(tv, frameNodes[0], header);

    for (unsigned k = 0; k <= header.FrameCount; ++k) {
        frameNodes[k + 1] = tv.AddChildLast(root, FrameText(k), nullptr);
    }

    // Each tag node gets its whole text when it is added: a DoAction's first action and a
    // ShowFrame's frame index are known by then.
    TagTexts tagTexts(tv);
    for (TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        const TextId text = tagTexts.For(*item);
        TreeNode node;
        if (item->Depth != 0) {
            node = tv.AddChildLast(lastTopLevelTag, text, item);
        } else {
            bytesSoFar += std::int64_t{item->BodyLength} + item->HeaderLength;
            const TreeNode frame = FrameNodeFor(tv, frameNodes, root, item->FrameIndex);
            node = tv.AddChildLast(frame, text, item);
            if (item->TagCode == tagShowFrame) {
                // The top-level tags lie side by side in a file of at most 4 MiB.
                const auto bytes = static_cast<std::uint32_t>(
                    std::min<std::int64_t>(bytesSoFar, std::numeric_limits<std::uint32_t>::max()));
                tv.AppendFrameStatistics(frame, {item->FrameIndex, bytes, framesPerSecond});
            }
            lastTopLevelTag = node;
        }
        tv.SetImages(node, item->IconIndex, item->IconIndex);
    }
    return root;
}
