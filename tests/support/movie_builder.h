// Builds SWF movies in memory for the tests, the benchmarks and the fuzz seed corpus.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace testmovie {

using Bytes = std::vector<std::uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts);
void Append(Bytes& to, const Bytes& more);
Bytes U16(std::uint16_t v);
Bytes U32(std::uint32_t v);

// Pseudo-random bytes that do not compress, continuing the sequence `seed` stands at, so that a
// fixed seed gives the same bytes in every run.
Bytes Noise(std::size_t count, std::uint32_t& seed);

// A tag: short header when the body is shorter than 63 bytes, unless `forceLong`.
Bytes Tag(std::uint16_t code, const Bytes& body = {}, bool forceLong = false);
// A tag header alone declaring `bodyLength`, in long form when asked or needed.
Bytes TagHeader(std::uint16_t code, std::uint32_t bodyLength, bool forceLong = false);

Bytes End();
Bytes ShowFrame();
// A DoAction whose body is `actions` verbatim.
Bytes DoAction(const Bytes& actions);
// A DefineSprite with the given contents after its id and frame count; the contents should end
// with End() for a well-formed sprite.
Bytes Sprite(const Bytes& contents, std::uint16_t id = 1, std::uint16_t frameCount = 1);

// A string as the movie format stores it: its bytes, then a 0 byte.
Bytes CString(const std::string& text);
// An action record: its code, and for a code from 0x80 on a 16-bit length and `payload`.
Bytes Action(std::uint8_t code, const Bytes& payload = {});
// The ActionScript 3 byte code's variable-length integer: 7 bits a byte, low bits first.
Bytes VarU32(std::uint32_t v);
// ActionScript 3 byte code holding empty number pools, the string pool `strings` (indices from
// 1) and a namespace pool whose entries name the strings at `namespaceNames`, then nothing more.
Bytes AbcData(const std::vector<std::string>& strings,
              const std::vector<std::uint32_t>& namespaceNames = {});

struct HeaderSpec {
    int fieldWidth = 15;  // n, 0 to 31
    std::int32_t xMin = 0;
    std::int32_t xMax = 11000;
    std::int32_t yMin = 0;
    std::int32_t yMax = 8000;
    std::uint8_t version = 6;
    std::uint16_t frameRate = 0x0C00;
    std::uint16_t frameCount = 1;
    std::string signature = "FWS";
};

// The encoded frame rectangle record (values are truncated to the field width).
Bytes FrameRect(int fieldWidth, std::int32_t xMin, std::int32_t xMax, std::int32_t yMin,
                std::int32_t yMax);
// The file header with the given declared length.
Bytes Header(const HeaderSpec& spec, std::uint32_t fileLength);
// Header followed by `tags`; the declared length is the total unless overridden.
Bytes Movie(const HeaderSpec& spec, const Bytes& tags,
            std::optional<std::uint32_t> declaredLength = std::nullopt);
inline Bytes Movie(const Bytes& tags) {
    return Movie(HeaderSpec{}, tags);
}

// A header of exactly `headerBytes` (13 to 29), so that a movie can be filled to an exact size
// with 2-byte tags.
HeaderSpec HeaderOfLength(int headerBytes, std::uint16_t frameCount);
// `count` copies of `tag` in one block.
Bytes Repeated(const Bytes& tag, std::size_t count);
// `levels` sprites, each holding the next one whole and ending with its End, each carrying
// `fillerTags` 2-byte tags before the next level: 12 + 2 * fillerTags bytes a level.
Bytes NestedSprites(std::size_t levels, std::size_t fillerTags = 0);
// Tags that fill the list to its limit of 4,194,304 items just before the End after them, where
// the load stops at the top level: a sprite whose one tag reaches over the rest to that End,
// sprites holding chains of run-on sprites, and a ShowFrame.
Bytes TagsFillingTheItemLimit();

inline std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Every name in `folder`, hidden ones included, sorted: a leftover temporary file shows up here.
std::vector<std::string> Listing(const std::string& folder);

// Reads a whole file, for comparing saved output.
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` to a file named `name` here and returns its path.
    std::string Write(const std::string& name, const Bytes& bytes) const;

  private:
    std::string path_;
};

}  // namespace testmovie
