// The movies a movie carries in its DefineBinaryData items: loaders, asset packs, wrapped games.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "swfff/document.h"

namespace velpin {

struct ByteSpan {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
};

// A DefineBinaryData item's data: what follows its 16-bit id and 4 reserved bytes. Nothing for any
// other tag, or for a body too short to reach the data.
std::optional<ByteSpan> BinaryDataOf(const TagItem& item);

// Whether data starts as a movie does: "FWS", "CWS" or "ZWS".
bool IsMovieData(const ByteSpan& data);

struct EmbeddedMovie {
    std::int64_t index = 0;  // the item's index in the list
    ByteSpan data;           // inside FileBytes
};

// The items of the loaded `movie` whose data is a movie, in list order. An item the list holds
// more than once (a sprite without an End tag repeats the tags after it) comes once, under its
// first index.
std::vector<EmbeddedMovie> FindEmbeddedMovies(const CInputScript& movie);

}  // namespace velpin
