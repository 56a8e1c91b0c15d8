#include "input/movie_input.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "base/error.h"
#include "codec/swfcodec.h"
#include "input/embedded_movies.h"
#include "input/item_at.h"
#include "swfff/errors.h"
#include "swfff/fileio.h"
#include "swfff/loader.h"

namespace velpin {

namespace {

// What the first `count` bytes of a movie of `size` bytes say.
InputHead HeadOf(const std::uint8_t* bytes, std::size_t count, std::int64_t size) {
    InputHead head;
    static_cast<MovieHead&>(head) = ParseMovieHead(bytes, count);
    head.size = size;
    return head;
}

// Reads the head of a file opened at its start. Only as much as the file's size promises is read,
// so a FIFO or a device, whose size is 0, is never waited on; a read that fails leaves the head
// unknown, and the load that follows reports the file in its own terms.
InputHead ReadHead(InputFile& in) {
    const std::int64_t size = in.Size();
    std::uint8_t bytes[kMovieHeadBytes];
    const std::int64_t got =
        in.Read(bytes, std::min(size, static_cast<std::int64_t>(kMovieHeadBytes)));
    return HeadOf(bytes, got < 0 ? 0 : static_cast<std::size_t>(got), size);
}

// The largest movie the codec inflates for a load up to `maxSize`: its own limit, or the load's
// when that is larger.
std::uint64_t CodecMovieLimit(std::int64_t maxSize) {
    return std::max<std::uint64_t>(kMaxInflatedMovieBytes, static_cast<std::uint64_t>(maxSize));
}

void CheckCodecInputSize(std::uint64_t size, std::int64_t maxSize) {
    const std::uint64_t limit = CodecInputLimit(CodecMovieLimit(maxSize));
    if (size > limit) {
        throw Error::Content(ErrorSubject::Input, "the file is larger than the limit of " +
                                                      std::to_string(limit) + " bytes");
    }
}

// Reads a file whose size says nothing of its length (a pipe, a FIFO, a device, a file of /proc,
// all of size 0) to its end, as it comes, but never more than `limit` bytes.
std::vector<std::uint8_t> ReadStreamed(InputFile& in, const std::string& path, std::size_t limit) {
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kBlockBytes = 64 * 1024;
    while (bytes.size() < limit) {
        const std::size_t had = bytes.size();
        const std::size_t wanted = std::min(kBlockBytes, limit - had);
        bytes.resize(had + wanted);
        const std::int64_t got = in.Read(bytes.data() + had, static_cast<std::int64_t>(wanted));
        if (got < 0) {
            RaiseIoError(errno, path, IoOp::Read);
        }
        bytes.resize(had + static_cast<std::size_t>(got));
        // A read comes back short only at the end.
        if (static_cast<std::size_t>(got) < wanted) {
            break;
        }
    }
    return bytes;
}

std::vector<std::uint8_t> ReadWhole(InputFile& in, const std::string& path, std::int64_t size,
                                    std::int64_t maxSize) {
    CheckCodecInputSize(
        size < 0 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(size),
        maxSize);
    if (!in.SeekToStart()) {
        RaiseIoError(errno, path, IoOp::Seek);
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const std::int64_t got = in.Read(bytes.data(), size);
    if (got < 0) {
        RaiseIoError(errno, path, IoOp::Read);
    }
    if (got != size) {
        throw EInOutError(ioReadBeyondEnd);
    }
    in.Close();
    return bytes;
}

// The most stored bytes worth inflating of a compressed movie that declares `declaredLength`: a
// lenient load reads what comes up to one byte past the load's limit, whatever is declared.
std::uint64_t MostStoredBytes(std::uint64_t declaredLength, std::int64_t maxSize) {
    return MostCompressedBytes(
        std::min<std::uint64_t>(declaredLength, static_cast<std::uint64_t>(maxSize) + 1));
}

// What a compressed movie of `size` stored bytes is refused for before its body is read, by its
// sizes alone; loadOk when it is to be inflated. So neither a file nor an entry is read whole, nor
// held, beyond what a load can use.
std::int32_t RefuseByStoredSize(std::uint64_t size, std::uint32_t declaredLength, bool lenient,
                                std::int64_t maxSize) {
    CheckCodecInputSize(size, maxSize);
    if (declaredLength > maxSize && !lenient) {
        // The load refuses a movie over its limit by its size alone, before reading a byte of
        // it; so does this, by the size the header declares, without inflating hundreds of
        // megabytes only to refuse them.
        return loadTooLarge;
    }
    const std::uint64_t most = MostStoredBytes(declaredLength, maxSize);
    if (size > most) {
        throw Error::Content(ErrorSubject::Input,
                             "the compressed movie has " + std::to_string(size) +
                                 " bytes, more than the " + std::to_string(most) +
                                 " that a movie of its declared length of " +
                                 std::to_string(declaredLength) + " bytes can take");
    }
    return loadOk;
}

std::int32_t LoadInflated(CInputScript& script, const std::string& name, const std::uint8_t* packed,
                          std::size_t packedBytes, std::uint32_t declaredLength,
                          std::int64_t maxSize, MovieFaults* lenient) {
    const Signature signature = SignatureOf(packed, packedBytes);
    std::size_t trailing = 0;
    // A stream that breaks off may stop within the load's limit whatever its header declares,
    // so a lenient load holds what comes up to one byte past the limit and counts the rest.
    const std::size_t holdLimit = static_cast<std::size_t>(maxSize) + 1;
    std::vector<std::uint8_t> movie;
    movie.reserve(std::min<std::size_t>(declaredLength, holdLimit));
    std::uint64_t produced = 0;
    const ByteSink keep = [&movie, &produced, holdLimit](const std::uint8_t* bytes,
                                                         std::size_t count) {
        produced += count;
        movie.insert(movie.end(), bytes,
                     bytes + std::min(count, holdLimit - std::min(holdLimit, movie.size())));
    };
    try {
        InflateMovie(packed, packedBytes, keep, &trailing, CodecMovieLimit(maxSize));
    } catch (const Error& error) {
        // Before the first byte of the movie the file is no compressed movie at all.
        if (lenient == nullptr || produced == 0) {
            throw;
        }
        lenient->stream = StreamFault{signature, produced, error.what(), true,
                                      dynamic_cast<const DamagedStreamError*>(&error) != nullptr};
    }
    if (lenient != nullptr && trailing > 0) {
        lenient->stream =
            StreamFault{signature, produced, BytesAfterTheStream(trailing), false, false};
    }
    if (produced > static_cast<std::uint64_t>(maxSize)) {
        return loadTooLarge;
    }
    return LoadMovieFromBytes(script, name, movie.data(), static_cast<std::int64_t>(movie.size()),
                              lenient != nullptr ? &lenient->load : nullptr, maxSize);
}

}  // namespace

std::vector<std::uint8_t> ReadInputFile(const std::string& path) {
    InputFile in;
    in.Open(path);
    const std::int64_t size = in.Size();
    if (size == 0) {
        std::vector<std::uint8_t> bytes = ReadStreamed(in, path, kMaxCodecInputBytes + 1);
        in.Close();
        CheckCodecInputSize(bytes.size(), kMaxInflatedMovieBytes);
        return bytes;
    }
    return ReadWhole(in, path, size, kMaxInflatedMovieBytes);
}

std::int32_t LoadMovieInput(CInputScript& script, const std::string& path, bool inflate,
                            std::int64_t maxSize, InputHead* head, MovieFaults* lenient) {
    InputFile in;
    in.Open(path);
    if (in.Size() == 0) {
        // Held as an entry is: its signature tells how many bytes a load can use.
        constexpr std::size_t kSignatureBytes = 3;
        std::vector<std::uint8_t> bytes = ReadStreamed(in, path, kSignatureBytes);
        const std::vector<std::uint8_t> rest = ReadStreamed(
            in, path, MovieHoldLimit(bytes.data(), bytes.size(), inflate, maxSize) - bytes.size());
        in.Close();
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        return LoadMovieBytesInput(script, path, bytes.data(), bytes.size(), bytes.size(), inflate,
                                   maxSize, head, lenient);
    }
    if (lenient != nullptr) {
        *lenient = MovieFaults{};
    }
    LoadFaults* const loadFaults = lenient != nullptr ? &lenient->load : nullptr;
    if (!inflate && head == nullptr) {
        in.Close();
        return LoadMovieFile(script, path, loadFaults, maxSize);
    }
    const InputHead seen = ReadHead(in);
    if (head != nullptr) {
        *head = seen;
    }
    if (!inflate || !IsCompressed(seen.signature)) {
        in.Close();
        return LoadMovieFile(script, path, loadFaults, maxSize);
    }
    // A file too short to declare a length is refused by the codec before this value matters.
    const std::uint32_t declaredLength = seen.declaredLength.value_or(0);
    const std::int32_t refused =
        RefuseByStoredSize(*seen.size < 0 ? std::numeric_limits<std::uint64_t>::max()
                                          : static_cast<std::uint64_t>(*seen.size),
                           declaredLength, lenient != nullptr, maxSize);
    if (refused != loadOk) {
        return refused;
    }
    const std::vector<std::uint8_t> packed = ReadWhole(in, path, *seen.size, maxSize);
    return LoadInflated(script, path, packed.data(), packed.size(), declaredLength, maxSize,
                        lenient);
}

std::int32_t LoadMovieBytesInput(CInputScript& script, const std::string& name,
                                 const std::uint8_t* bytes, std::size_t held, std::uint64_t size,
                                 bool inflate, std::int64_t maxSize, InputHead* head,
                                 MovieFaults* lenient) {
    if (lenient != nullptr) {
        *lenient = MovieFaults{};
    }
    const InputHead seen = HeadOf(bytes, held, static_cast<std::int64_t>(size));
    if (head != nullptr) {
        *head = seen;
    }
    if (!inflate || !IsCompressed(seen.signature)) {
        return LoadMovieFromBytes(script, name, bytes, static_cast<std::int64_t>(held),
                                  lenient != nullptr ? &lenient->load : nullptr, maxSize);
    }
    const std::uint32_t declaredLength = seen.declaredLength.value_or(0);
    const std::int32_t refused =
        RefuseByStoredSize(size, declaredLength, lenient != nullptr, maxSize);
    if (refused != loadOk) {
        return refused;
    }
    return LoadInflated(script, name, bytes, held, declaredLength, maxSize, lenient);
}

std::size_t MovieHoldLimit(const std::uint8_t* start, std::size_t count, bool inflate,
                           std::int64_t maxSize) {
    if (inflate && IsCompressed(SignatureOf(start, count))) {
        // The most any movie within the load's limit can need: one that needs less, and has more
        // stored, is refused by its sizes.
        return static_cast<std::size_t>(
                   MostStoredBytes(static_cast<std::uint64_t>(maxSize) + 1, maxSize)) +
               1;
    }
    return static_cast<std::size_t>(maxSize) + 1;
}

MovieHead HeadOfFile(const std::string& path) {
    try {
        InputFile in;
        in.Open(path);
        return ReadHead(in);
    } catch (const std::exception&) {
        return MovieHead{};
    }
}

std::int32_t LoadEmbeddedMovie(CInputScript& script, std::uint64_t index, bool inflate,
                               std::int64_t maxSize, InputHead& head, MovieFaults* lenient) {
    std::uint64_t count = 0;
    const TagItem* const item = ItemAt(script, index, count);
    const std::string itemName = "item " + std::to_string(index);
    if (item == nullptr) {
        throw Error::Usage("--embedded " + std::to_string(index) +
                           " is out of range: the movie has " + std::to_string(count) +
                           " tag items");
    }
    const std::optional<ByteSpan> data = BinaryDataOf(*item);
    if (!data) {
        throw Error::Usage("--embedded: " + itemName + " is not a DefineBinaryData item with data");
    }
    if (!IsMovieData(*data)) {
        throw Error::Usage("--embedded: the data of " + itemName + " is not a movie");
    }
    // The next load releases the bytes the data lies in.
    const std::vector<std::uint8_t> bytes(data->bytes, data->bytes + data->size);
    return LoadMovieBytesInput(script, script.FileName, bytes.data(), bytes.size(), bytes.size(),
                               inflate, maxSize, &head, lenient);
}

std::string MovieName(const std::string& path, const std::vector<std::uint64_t>& embedded,
                      std::size_t levels) {
    std::string name = path;
    for (std::size_t i = 0; i < levels && i < embedded.size(); ++i) {
        name += "[" + std::to_string(embedded[i]) + "]";
    }
    return name;
}

LoadedInput LoadRequestedMovie(CInputScript& script, const MovieRequest& request) {
    LoadedInput loaded;
    loaded.name = request.path;
    loaded.maxSize = request.maxSize;
    MovieFaults faults;
    MovieFaults* const lenient = request.lenient ? &faults : nullptr;
    if (request.lenient) {
        loaded.faults.emplace();
    }
    // Without --inflate the load is LoadMovieFile alone, exactly the window's.
    loaded.result = LoadMovieInput(
        script, request.path, request.inflate, request.maxSize,
        request.inflate || !request.embedded.empty() ? &loaded.head : nullptr, lenient);
    if (lenient != nullptr) {
        loaded.faults = faults;
    }
    // An embedded movie is looked for among the items its parent could read, and its faults,
    // its own alone, replace the parent's.
    for (std::size_t i = 0; i < request.embedded.size() && loaded.Readable(); ++i) {
        try {
            loaded.result = LoadEmbeddedMovie(script, request.embedded[i], request.inflate,
                                              request.maxSize, loaded.head, lenient);
        } catch (const Error& error) {
            // A usage error is about the movie the index was looked up in; any other, about the
            // embedded movie's own bytes.
            const bool usage = error.Class() == ErrorClass::Usage;
            throw Error(error.Class(), error.Subject(), error.what(),
                        MovieName(request.path, request.embedded, usage ? i : i + 1));
        }
        loaded.embedded = true;
        loaded.name = MovieName(request.path, request.embedded, i + 1);
        if (lenient != nullptr) {
            loaded.faults = faults;
        }
    }
    return loaded;
}

}  // namespace velpin
