#include "codec/digests.h"

#include <openssl/evp.h>
#include <xxhash.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <new>

#include "base/ascii.h"

namespace velpin {

namespace {

constexpr std::array<std::pair<HashAlgorithm, std::string_view>, 5> kNames{{
    {HashAlgorithm::Sha256, "sha256"},
    {HashAlgorithm::Sha1, "sha1"},
    {HashAlgorithm::Md5, "md5"},
    {HashAlgorithm::Crc32, "crc32"},
    {HashAlgorithm::Xxh128, "xxh128"},
}};

std::string Hex(const unsigned char* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

}  // namespace

struct Digester::State {
    explicit State(HashAlgorithm algorithm) : algorithm(algorithm) {
        switch (algorithm) {
            case HashAlgorithm::Sha256:
            case HashAlgorithm::Sha1:
            case HashAlgorithm::Md5: {
                evp = EVP_MD_CTX_new();
                const EVP_MD* md = algorithm == HashAlgorithm::Sha256 ? EVP_sha256()
                                   : algorithm == HashAlgorithm::Sha1 ? EVP_sha1()
                                                                      : EVP_md5();
                if (evp == nullptr || EVP_DigestInit_ex(evp, md, nullptr) != 1) {
                    EVP_MD_CTX_free(evp);
                    throw std::bad_alloc();
                }
                break;
            }
            case HashAlgorithm::Crc32:
                crc = crc32(0L, Z_NULL, 0);
                break;
            case HashAlgorithm::Xxh128:
                xxh = XXH3_createState();
                if (xxh == nullptr || XXH3_128bits_reset(xxh) != XXH_OK) {
                    XXH3_freeState(xxh);
                    throw std::bad_alloc();
                }
                break;
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        EVP_MD_CTX_free(evp);
        XXH3_freeState(xxh);
    }

    void Update(const std::uint8_t* bytes, std::size_t count) {
        switch (algorithm) {
            case HashAlgorithm::Crc32:
                // zlib counts in 32 bits; a block of several GiB goes in pieces.
                while (count > 0) {
                    const std::size_t piece =
                        std::min<std::size_t>(count, std::numeric_limits<uInt>::max());
                    crc = crc32(crc, bytes, static_cast<uInt>(piece));
                    bytes += piece;
                    count -= piece;
                }
                break;
            case HashAlgorithm::Xxh128:
                XXH3_128bits_update(xxh, bytes, count);
                break;
            default:
                EVP_DigestUpdate(evp, bytes, count);
                break;
        }
    }

    std::string Finish() {
        switch (algorithm) {
            case HashAlgorithm::Crc32: {
                const unsigned char big[4] = {
                    static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
                    static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
                return Hex(big, sizeof big);
            }
            case HashAlgorithm::Xxh128: {
                // The canonical form is big-endian, high half first: what xxhsum prints.
                XXH128_canonical_t canonical;
                XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(xxh));
                return Hex(canonical.digest, sizeof canonical.digest);
            }
            default: {
                unsigned char digest[EVP_MAX_MD_SIZE];
                unsigned int length = 0;
                EVP_DigestFinal_ex(evp, digest, &length);
                return Hex(digest, length);
            }
        }
    }

    HashAlgorithm algorithm;
    EVP_MD_CTX* evp = nullptr;
    XXH3_state_t* xxh = nullptr;
    uLong crc = 0;
};

std::vector<std::string_view> HashNames() {
    std::vector<std::string_view> names;
    for (const auto& entry : kNames) {
        names.push_back(entry.second);
    }
    return names;
}

std::string_view HashName(HashAlgorithm algorithm) {
    for (const auto& [known, name] : kNames) {
        if (known == algorithm) {
            return name;
        }
    }
    return "";
}

std::vector<HashAlgorithm> ParseHashList(std::string_view list) {
    std::vector<HashAlgorithm> algorithms;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view name = list.substr(start, comma - start);
        // Names are taken in any case, as the tools that print these digests spell them
        // (SHA256, CRC32...); they come out lowercase.
        const auto known = std::find_if(kNames.begin(), kNames.end(), [name](const auto& entry) {
            return SameIgnoringAsciiCase(name, entry.second);
        });
        if (known == kNames.end()) {
            throw std::invalid_argument("unknown hash \"" + std::string(name) +
                                        "\": use sha256, sha1, md5, crc32 or xxh128");
        }
        if (std::find(algorithms.begin(), algorithms.end(), known->first) == algorithms.end()) {
            algorithms.push_back(known->first);
        }
        if (comma == list.size()) {
            return algorithms;
        }
        start = comma + 1;
    }
}

Digester::Digester(const std::vector<HashAlgorithm>& algorithms) {
    for (const HashAlgorithm algorithm : algorithms) {
        states_.push_back(std::make_unique<State>(algorithm));
    }
}

Digester::~Digester() = default;

void Digester::Update(const std::uint8_t* bytes, std::size_t count) {
    for (const auto& state : states_) {
        state->Update(bytes, count);
    }
}

HashValues Digester::Finish() {
    HashValues values;
    for (const auto& state : states_) {
        values.emplace_back(state->algorithm, state->Finish());
    }
    states_.clear();
    return values;
}

HashValues DigestBytes(const std::vector<HashAlgorithm>& algorithms, const std::uint8_t* bytes,
                       std::size_t count) {
    Digester digester(algorithms);
    digester.Update(bytes, count);
    return digester.Finish();
}

}  // namespace velpin
