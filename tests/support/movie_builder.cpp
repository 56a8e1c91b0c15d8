#include "tests/support/movie_builder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testmovie {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        Append(out, part);
    }
    return out;
}

void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Bytes U16(std::uint16_t v) {
    return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)};
}

Bytes U32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF),
            static_cast<std::uint8_t>((v >> 16) & 0xFF), static_cast<std::uint8_t>(v >> 24)};
}

Bytes Noise(std::size_t count, std::uint32_t& seed) {
    Bytes out(count);
    for (auto& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return out;
}

Bytes TagHeader(std::uint16_t code, std::uint32_t bodyLength, bool forceLong) {
    if (!forceLong && bodyLength < 63) {
        return U16(static_cast<std::uint16_t>((code << 6) | bodyLength));
    }
    return Cat({U16(static_cast<std::uint16_t>((code << 6) | 0x3F)), U32(bodyLength)});
}

Bytes Tag(std::uint16_t code, const Bytes& body, bool forceLong) {
    return Cat({TagHeader(code, static_cast<std::uint32_t>(body.size()), forceLong), body});
}

Bytes End() {
    return Tag(0);
}
Bytes ShowFrame() {
    return Tag(1);
}
Bytes DoAction(const Bytes& actions) {
    return Tag(12, actions);
}

Bytes Sprite(const Bytes& contents, std::uint16_t id, std::uint16_t frameCount) {
    return Tag(39, Cat({U16(id), U16(frameCount), contents}));
}

Bytes CString(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

Bytes Action(std::uint8_t code, const Bytes& payload) {
    if (code < 0x80) {
        return {code};
    }
    return Cat({{code}, U16(static_cast<std::uint16_t>(payload.size())), payload});
}

Bytes VarU32(std::uint32_t v) {
    Bytes bytes;
    do {
        const auto low = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
        bytes.push_back(v != 0 ? (low | 0x80) : low);
    } while (v != 0);
    return bytes;
}

Bytes AbcData(const std::vector<std::string>& strings,
              const std::vector<std::uint32_t>& namespaceNames) {
    // Version 46.16, then empty integer, unsigned and double pools.
    Bytes abc = Cat({U16(16), U16(46), {0, 0, 0}});
    Append(abc, VarU32(static_cast<std::uint32_t>(strings.size() + 1)));
    for (const std::string& text : strings) {
        Append(abc, VarU32(static_cast<std::uint32_t>(text.size())));
        abc.insert(abc.end(), text.begin(), text.end());
    }
    Append(abc, VarU32(static_cast<std::uint32_t>(namespaceNames.size() + 1)));
    for (const std::uint32_t name : namespaceNames) {
        abc.push_back(0x16);  // a package namespace
        Append(abc, VarU32(name));
    }
    return abc;
}

HeaderSpec HeaderOfLength(int headerBytes, std::uint16_t frameCount) {
    HeaderSpec spec;
    // R = (5 + 4n + 7) / 8 bytes; the header is 12 + R.
    for (int n = 0; n <= 31; ++n) {
        if (12 + (5 + 4 * n + 7) / 8 == headerBytes) {
            spec.fieldWidth = n;
            break;
        }
    }
    spec.xMin = 0;
    spec.xMax = 1;
    spec.yMin = 0;
    spec.yMax = 1;
    spec.frameCount = frameCount;
    return spec;
}

Bytes Repeated(const Bytes& tag, std::size_t count) {
    Bytes out;
    out.reserve(tag.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        out.insert(out.end(), tag.begin(), tag.end());
    }
    return out;
}

Bytes NestedSprites(std::size_t levels, std::size_t fillerTags) {
    const std::size_t levelBytes = 12 + 2 * fillerTags;
    const Bytes filler = Repeated(Tag(9), fillerTags);
    Bytes tags;
    tags.reserve(levels * levelBytes + 2);
    for (std::size_t k = 0; k < levels; ++k) {
        const auto body =
            static_cast<std::uint32_t>(4 + (levels - k - 1) * levelBytes + fillerTags * 2 + 2);
        Append(tags, Cat({TagHeader(39, body, true), U16(1), U16(1), filler}));
    }
    for (std::size_t k = 0; k <= levels; ++k) {
        Append(tags, End());
    }
    return tags;
}

Bytes TagsFillingTheItemLimit() {
    // A sprite holding a chain of k run-on sprites and its End lists 2^(k + 1) items, itself
    // included; chains of 20 down to 1 make 2^22 - 4.
    Bytes sprites;
    for (std::size_t k = 20; k >= 1; --k) {
        Append(sprites, Sprite(Cat({Repeated(Sprite({}), k), End()})));
    }
    Append(sprites, ShowFrame());
    // The sprite in front, its one tag and the End that tag reaches make the other 3.
    const Bytes reachingOver =
        Sprite(TagHeader(2, static_cast<std::uint32_t>(sprites.size()), true));
    return Cat({reachingOver, sprites, End()});
}

namespace {

class BitWriter {
  public:
    void Put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            current_ = static_cast<std::uint8_t>((current_ << 1) | ((value >> i) & 1u));
            if (++used_ == 8) {
                out_.push_back(current_);
                current_ = 0;
                used_ = 0;
            }
        }
    }
    Bytes Finish() {
        if (used_ > 0) {
            out_.push_back(static_cast<std::uint8_t>(current_ << (8 - used_)));
        }
        return out_;
    }

  private:
    Bytes out_;
    std::uint8_t current_ = 0;
    int used_ = 0;
};

}  // namespace

Bytes FrameRect(int fieldWidth, std::int32_t xMin, std::int32_t xMax, std::int32_t yMin,
                std::int32_t yMax) {
    BitWriter bits;
    bits.Put(static_cast<std::uint32_t>(fieldWidth), 5);
    for (std::int32_t v : {xMin, xMax, yMin, yMax}) {
        bits.Put(static_cast<std::uint32_t>(v), fieldWidth);
    }
    return bits.Finish();
}

Bytes Header(const HeaderSpec& spec, std::uint32_t fileLength) {
    Bytes out(spec.signature.begin(), spec.signature.end());
    out.push_back(spec.version);
    Append(out, U32(fileLength));
    Append(out, FrameRect(spec.fieldWidth, spec.xMin, spec.xMax, spec.yMin, spec.yMax));
    Append(out, U16(spec.frameRate));
    Append(out, U16(spec.frameCount));
    return out;
}

Bytes Movie(const HeaderSpec& spec, const Bytes& tags,
            std::optional<std::uint32_t> declaredLength) {
    const std::size_t headerLength = Header(spec, 0).size();
    const auto total = static_cast<std::uint32_t>(headerLength + tags.size());
    return Cat({Header(spec, declaredLength.value_or(total)), tags});
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velpin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may leave read-only folders behind; make them writable so they can be removed.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = File(name);
    WriteFile(path, bytes);
    return path;
}

}  // namespace testmovie
