#include "Unit1/presentation/TextStore.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "Unit1/presentation/FrameStatistics.h"

TextId TextStore::Store(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("tree text exceeds 4 GiB");
    }
    if (texts_.size() >= kMaxTexts) {
        throw std::length_error("too many tree texts");
    }
    // Room first, so that nothing is left half done when memory runs out.
    if (texts_.size() == texts_.capacity()) {
        texts_.reserve(texts_.size() * 2 + 64);
    }
    if (text.empty()) {
        texts_.push_back(StoredText{"", 0});
        return static_cast<TextId>(texts_.size() - 1);
    }
    char* stored = textFree_;
    if (text.size() > textFreeBytes_) {
        // A text larger than a quarter chunk gets a block of its own, so that the newest chunk's
        // free room is not thrown away for it. Left uninitialised: only bytes written are read.
        const bool ownBlock = text.size() > kTextChunkBytes / 4;
        std::unique_ptr<char[]> chunk(new char[ownBlock ? text.size() : kTextChunkBytes]);
        stored = chunk.get();
        textChunks_.push_back(std::move(chunk));
        if (!ownBlock) {
            textFree_ = stored;
            textFreeBytes_ = kTextChunkBytes;
        }
    }
    if (stored == textFree_) {
        textFree_ += text.size();
        textFreeBytes_ -= text.size();
    }
    std::memcpy(stored, text.data(), text.size());
    texts_.push_back(StoredText{stored, static_cast<std::uint32_t>(text.size())});
    return static_cast<TextId>(texts_.size() - 1);
}

std::size_t TextStore::Length(NodeText text) const {
    if ((text & kHasPieces) != 0) {
        return appended_[text & ~kHasPieces].length;
    }
    return texts_[text].length;
}

void TextStore::AppendTo(std::string& out, NodeText text) const {
    if ((text & kHasPieces) == 0) {
        out.append(texts_[text].bytes, texts_[text].length);
        return;
    }
    const Appended& appended = appended_[text & ~kHasPieces];
    const StoredText& base = texts_[appended.base];
    out.reserve(out.size() + appended.length);
    out.append(base.bytes, base.length);
    for (const Piece& piece : appended.pieces) {
        if (piece.kind == kTextPiece) {
            out.append(texts_[piece.value].bytes, texts_[piece.value].length);
        } else {
            AppendFrameStatisticsText(
                out, FrameStatistics{static_cast<std::uint16_t>(piece.kind & 0xFFFF), piece.value,
                                     static_cast<std::uint8_t>(piece.kind >> 16)});
        }
    }
}

void TextStore::Replace(NodeText& text, std::string_view replacement) {
    const TextId id = Store(replacement);
    if ((text & kHasPieces) != 0) {
        Appended& appended = appended_[text & ~kHasPieces];
        appended.base = id;
        appended.length = replacement.size();
        std::vector<Piece>().swap(appended.pieces);
    } else {
        text = id;
    }
}

void TextStore::AppendPiece(NodeText& text, Piece piece, std::size_t pieceLength) {
    if ((text & kHasPieces) == 0) {
        if (appended_.size() >= kMaxTexts) {
            throw std::length_error("too many appended tree texts");
        }
        appended_.push_back(Appended{text, texts_[text].length, {}});
        text = static_cast<NodeText>(appended_.size() - 1) | kHasPieces;
    }
    Appended& appended = appended_[text & ~kHasPieces];
    appended.pieces.push_back(piece);
    appended.length += pieceLength;
}

void TextStore::Append(NodeText& text, std::string_view tail) {
    AppendPiece(text, Piece{Store(tail), kTextPiece}, tail.size());
}

void TextStore::AppendFrameStatistics(NodeText& text, const FrameStatistics& statistics) {
    AppendPiece(text,
                Piece{statistics.bytesSoFar, std::uint32_t{statistics.frame} |
                                                 std::uint32_t{statistics.framesPerSecond} << 16},
                FrameStatisticsTextLength(statistics));
}

void TextStore::Release(NodeText text) {
    if ((text & kHasPieces) != 0) {
        std::vector<Piece>().swap(appended_[text & ~kHasPieces].pieces);
    }
}

void TextStore::Clear() {
    // Swapped with empty containers, so that the memory goes back now, not at the next growth.
    decltype(textChunks_)().swap(textChunks_);
    textFree_ = nullptr;
    textFreeBytes_ = 0;
    decltype(texts_)().swap(texts_);
    decltype(appended_)().swap(appended_);
}
