// Digests computed over a stream of bytes as they go by, so that an entry far larger than what is
// held of it still gets its hashes: sha256, sha1 and md5 (libcrypto), crc32 (zlib) and xxh128
// (xxHash, printed as `xxhsum -H2` prints it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velpin {

enum class HashAlgorithm { Sha256, Sha1, Md5, Crc32, Xxh128 };

// The name used on the command line and in the output: "sha256", "sha1", "md5", "crc32",
// "xxh128".
std::string_view HashName(HashAlgorithm algorithm);
// Every algorithm's name, in that order.
std::vector<std::string_view> HashNames();

// Parses "ALG[,ALG...]", names in any case, into the algorithms in the order given, each once.
// Raises std::invalid_argument naming an unknown or empty name.
std::vector<HashAlgorithm> ParseHashList(std::string_view list);

// Each algorithm's lowercase hex digest, in the order the algorithms were given.
using HashValues = std::vector<std::pair<HashAlgorithm, std::string>>;

class Digester {
  public:
    explicit Digester(const std::vector<HashAlgorithm>& algorithms);
    Digester(const Digester&) = delete;
    Digester& operator=(const Digester&) = delete;
    ~Digester();

    void Update(const std::uint8_t* bytes, std::size_t count);
    // Ends every digest; the Digester takes no more bytes afterwards.
    HashValues Finish();

  private:
    struct State;
    std::vector<std::unique_ptr<State>> states_;
};

// The digests of one block of bytes.
HashValues DigestBytes(const std::vector<HashAlgorithm>& algorithms, const std::uint8_t* bytes,
                       std::size_t count);

}  // namespace velpin
