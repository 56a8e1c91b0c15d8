#include "codec/digest_libraries.h"

#include <openssl/crypto.h>
#include <openssl/opensslv.h>
#include <xxhash.h>

namespace velpin {

namespace {

// xxHash numbers its versions as major * 10000 + minor * 100 + release.
std::string XxhashVersion(unsigned number) {
    return std::to_string(number / 10000) + "." + std::to_string(number / 100 % 100) + "." +
           std::to_string(number % 100);
}

}  // namespace

LibraryVersions DigestLibraries() {
    return {
        {"OpenSSL", OPENSSL_VERSION_STR, OpenSSL_version(OPENSSL_VERSION_STRING)},
        {"xxHash", XxhashVersion(XXH_VERSION_NUMBER), XxhashVersion(XXH_versionNumber())},
    };
}

}  // namespace velpin
