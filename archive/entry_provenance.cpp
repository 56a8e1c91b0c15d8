#include "archive/entry_provenance.h"

#include <sys/stat.h>

namespace velpin {

namespace {

// 0000-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
constexpr std::int64_t kFirstSecond = -62167219200;
constexpr std::int64_t kLastSecond = 253402300799;
// 1980-01-01T00:00:00, the first time DOS can store.
constexpr std::int64_t kFirstDosSecond = 315532800;

}  // namespace

std::optional<StoredTime> UtcTime(std::int64_t secondsSince1970) {
    if (secondsSince1970 < kFirstSecond || secondsSince1970 > kLastSecond) {
        return std::nullopt;
    }
    return StoredTime{secondsSince1970, true};
}

std::optional<StoredTime> DosTimeOf(std::time_t madeLocal) {
    std::tm fields{};
    if (localtime_r(&madeLocal, &fields) == nullptr) {
        return std::nullopt;
    }
    const std::int64_t asWritten = timegm(&fields);
    if (asWritten < kFirstDosSecond || asWritten > kLastSecond) {
        return std::nullopt;
    }
    return StoredTime{asWritten, false};
}

std::optional<StoredTime> FileModified(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return UtcTime(status.st_mtim.tv_sec);
}

std::optional<StoredTime> DescriptorModified(int descriptor) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return UtcTime(status.st_mtim.tv_sec);
}

}  // namespace velpin
