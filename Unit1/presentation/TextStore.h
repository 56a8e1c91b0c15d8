// The texts of the tree's nodes. A movie of two million tags has two million node texts but few
// distinct ones, so equal texts are stored once, in large chunks, and a text that grows keeps its
// stored start and gathers appended pieces behind it; a frame node's statistics are such a piece,
// kept as numbers until the text is read.
//
// The contract:
// - A TextId names a stored text, valid until Clear. A NodeText is what one node holds: a TextId,
//   or once something was appended to it, its own list of pieces; it is never shared.
// - Texts are kept whole, never cut; a text longer than 4 GiB - 1 bytes raises std::length_error.
//   Appending costs what is appended: the text already there is not copied. A replaced or
//   released text's bytes are reclaimed by Clear.
// - Everything that can fail is done before a NodeText changes, so a raised error leaves it as
//   it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct FrameStatistics;

using TextId = std::uint32_t;
using NodeText = std::uint32_t;

class TextStore {
  public:
    TextStore() = default;
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    TextId Store(std::string_view text);
    bool Holds(TextId text) const { return text < texts_.size(); }

    std::size_t Length(NodeText text) const;
    // Appends the whole text to `out`, without a string of its own.
    void AppendTo(std::string& out, NodeText text) const;

    void Replace(NodeText& text, std::string_view replacement);
    void Append(NodeText& text, std::string_view tail);
    void AppendFrameStatistics(NodeText& text, const FrameStatistics& statistics);
    // The node holding `text` is gone: its pieces go now.
    void Release(NodeText text);
    void Clear();

  private:
    struct StoredText {
        const char* bytes;
        std::uint32_t length;
    };
    // A piece appended to a text: a stored text, or frame statistics kept as numbers.
    struct Piece {
        std::uint32_t value;  // the text, or the bytes so far
        std::uint32_t kind;   // kTextPiece, or the frame and frames per second of statistics
    };
    // A text that was appended to. Its pieces lie side by side, so that reading it walks memory
    // in order.
    struct Appended {
        TextId base;
        std::uint64_t length;  // of base and pieces together
        std::vector<Piece> pieces;
    };

    static constexpr std::uint32_t kTextPiece = 0xFFFFFFFFu;
    // Set in a NodeText once pieces were appended to it; the rest of it is then its place in
    // appended_ instead of a TextId.
    static constexpr NodeText kHasPieces = 0x80000000u;
    static constexpr std::size_t kMaxTexts = 0x7FFFFFFFu;
    static constexpr std::size_t kTextChunkBytes = std::size_t{1} << 20;

    void AppendPiece(NodeText& text, Piece piece, std::size_t pieceLength);

    std::vector<std::unique_ptr<char[]>> textChunks_;
    char* textFree_ = nullptr;  // the unused rest of the newest chunk
    std::size_t textFreeBytes_ = 0;
    std::vector<StoredText> texts_;
    std::vector<Appended> appended_;
};
