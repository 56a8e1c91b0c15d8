#include "input/embedded_movies.h"

#include <unordered_set>

#include "codec/signature.h"
#include "swfff/vocabulary.h"

namespace velpin {

namespace {

// The character id and the reserved 32-bit field.
constexpr std::size_t kBytesBeforeData = 6;

}  // namespace

std::optional<ByteSpan> BinaryDataOf(const TagItem& item) {
    if (item.TagCode != tagDefineBinaryData ||
        item.BodyLength < static_cast<std::int32_t>(kBytesBeforeData)) {
        return std::nullopt;
    }
    // The loader keeps no body longer than the bytes left in the file.
    return ByteSpan{item.Data + item.HeaderLength + kBytesBeforeData,
                    static_cast<std::size_t>(item.BodyLength) - kBytesBeforeData};
}

bool IsMovieData(const ByteSpan& data) {
    return SignatureOf(data.bytes, data.size) != Signature::None;
}

std::vector<EmbeddedMovie> FindEmbeddedMovies(const CInputScript& movie) {
    std::vector<EmbeddedMovie> found;
    std::unordered_set<const std::uint8_t*> seen;
    std::int64_t index = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next, ++index) {
        const std::optional<ByteSpan> data = BinaryDataOf(*item);
        if (data && IsMovieData(*data) && seen.insert(item->Data).second) {
            found.push_back({index, *data});
        }
    }
    return found;
}

}  // namespace velpin
