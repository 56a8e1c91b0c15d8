#include "MovieTreeBuilder.h"

#include <cstdio>

#include "OneDecimal.h"
#include "loader.h"
#include "vocabulary.h"

namespace {

// Positions in the window's image list.
constexpr int kFileImage = 5;
constexpr int kHeaderImage = 3;
constexpr int kHeaderFieldImage = 4;

constexpr int kTwipsPerPixel = 20;
constexpr double kKilobytesPerByte = 0.0009765625;  // 1 / 1024

std::string FrameText(unsigned frame) {
    char text[24];
    std::snprintf(text, sizeof text, "Frame %5u", frame);
    return text;
}

// The Header group: the six fields in their order, the two frame size details under FrameSize.
void AddHeaderNodes(TreeOps& tv, TreeNode header, const MovieHeader& h) {
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

// The statistics a frame node receives when the top-level ShowFrame ending frame `frame` is
// placed, `bytesSoFar` already counting that ShowFrame.
std::string FrameStatistics(unsigned frame, std::int64_t bytesSoFar, unsigned framesPerSecond) {
    std::string text = " (" + std::to_string(bytesSoFar) + " bytes so far)";
    // Below 1 fps the play time would divide by zero; only the byte count is meaningful then.
    if (framesPerSecond == 0) {
        return text;
    }
    const double seconds = static_cast<double>(frame + 1) / framesPerSecond;
    const double kilobytesPerSecond = static_cast<double>(bytesSoFar) / seconds * kKilobytesPerByte;
    text += " (Time:" + OneDecimalText(seconds) + " s.)";
    text += " (" + OneDecimalText(kilobytesPerSecond) + " kb/s so far)";
    return text;
}

void AppendText(TreeOps& tv, TreeNode node, const std::string& tail) {
    tv.SetText(node, tv.Text(node) + tail);
}

// The frame node of `frameIndex`. A header may declare fewer frames than the file holds; the
// missing frame nodes are added in order behind the last one, so each tag still sits under its
// own frame.
TreeNode FrameNodeFor(TreeOps& tv, FrameNodeTable& frameNodes, TreeNode root,
                      std::uint16_t frameIndex) {
    const std::size_t slot = std::size_t{frameIndex} + 1;
    while (frameNodes.size() <= slot) {
        const auto frame = static_cast<unsigned>(frameNodes.size() - 1);
        frameNodes.push_back(tv.AddChildLast(root, FrameText(frame), nullptr));
    }
    return frameNodes[slot];
}

void BuildTree(const CInputScript& movie, FrameNodeTable& frameNodes, TreeOps& tv) {
    const MovieHeader& header = movie.Header;
    const unsigned framesPerSecond = unsigned{header.FrameRate} >> 8;
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

    // A movie has millions of tags but few tag codes: each code's text is made once.
    std::vector<std::string> tagTexts;
    auto tagText = [&](std::uint16_t code) -> const std::string& {
        if (code >= tagTexts.size()) {
            tagTexts.resize(std::size_t{code} + 1);
        }
        if (tagTexts[code].empty()) {
            tagTexts[code] = " " + TagTypeName(code);
        }
        return tagTexts[code];
    };

    for (TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        const std::string& text = tagText(item->TagCode);
        TreeNode node;
        if (item->Depth != 0) {
            node = tv.AddChildLast(lastTopLevelTag, text, item);
            if (item->TagCode == tagDoAction) {
                AppendText(tv, node, " " + FirstActionName(*item));
            }
            if (item->TagCode == tagShowFrame) {
                AppendText(tv, node, " " + std::to_string(item->FrameIndex));
            }
        } else {
            bytesSoFar += std::int64_t{item->BodyLength} + item->HeaderLength;
            const TreeNode frame = FrameNodeFor(tv, frameNodes, root, item->FrameIndex);
            node = tv.AddChildLast(frame, text, item);
            if (item->TagCode == tagDoAction) {
                AppendText(tv, node, " " + FirstActionName(*item));
            }
            if (item->TagCode == tagShowFrame) {
                AppendText(tv, frame,
                           FrameStatistics(item->FrameIndex, bytesSoFar, framesPerSecond));
                AppendText(tv, node, " " + std::to_string(item->FrameIndex));
            }
            lastTopLevelTag = node;
        }
        tv.SetImages(node, item->IconIndex, item->IconIndex);
    }

    const TreeNode first = tv.FirstTopLevel();
    tv.Select(first);
    tv.ExpandOneLevel(first);
}

}  // namespace

std::int32_t OpenMovieWithResult(CInputScript& movie, FrameNodeTable& frameNodes, TreeOps& tv,
                                 WindowShell& shell, const std::string& path) {
    shell.SetBusyCursor();
    tv.BeginUpdate();
    std::int32_t result = loadOk;
    try {
        tv.Clear();
        // The table would otherwise hold nodes of the tree just cleared.
        frameNodes.clear();
        result = LoadMovieFile(movie, path);
        if (result == loadOk) {
            BuildTree(movie, frameNodes, tv);
        }
    } catch (...) {
        shell.SetDefaultCursor();
        tv.EndUpdate();
        throw;
    }
    shell.SetDefaultCursor();
    if (result != loadOk) {
        shell.ShowMessage("Error Opening file!", "Velpin");
        movie.Loaded = false;
    }
    tv.EndUpdate();
    return result;
}

void OpenMovieInto(CInputScript& movie, FrameNodeTable& frameNodes, TreeOps& tv, WindowShell& shell,
                   const std::string& path) {
    OpenMovieWithResult(movie, frameNodes, tv, shell, path);
}

void DeleteSelectedTag(CInputScript& movie, TreeOps& tv, TreeNode selectedNode) {
    if (!movie.Loaded || selectedNode == kNoNode) {
        return;
    }
    TagItem* const item = tv.Data(selectedNode);
    if (item == nullptr) {
        return;
    }
    // The node lets go of its item before the item is released, so nothing ever refers to a
    // released item.
    tv.ClearData(selectedNode);
    RemoveTagItem(movie, item);
    tv.DeleteWithDescendants(selectedNode);
}

void TrackSelection(const TreeOps& tv, TreeNode reported, TreeNode& selectedNode) {
    if (reported == kNoNode) {
        selectedNode = kNoNode;
    } else if (tv.IsSelected(reported)) {
        selectedNode = reported;
    }
}
