#include "analysis/container_names.h"

#include <algorithm>
#include <optional>

namespace velpin {

namespace {

// An archive's entry path as references name it: from its root (tar keeps a leading slash some
// writers put there), "." and ".." applied.
std::optional<std::string> ArchivePath(const std::string& name) {
    const std::size_t start = std::min(name.find_first_not_of('/'), name.size());
    return NormalisePath(std::string_view(name).substr(start), false);
}

}  // namespace

std::vector<std::string> ContainerNames::KeyOf(const std::vector<std::string>& entry,
                                               EntryOrigin origin) {
    // A record's web archive is the archive around its WARC file, if there is one, so that the
    // WARCs of one WACZ answer for each other.
    const std::size_t up = origin == EntryOrigin::WarcRecord
                               ? std::min<std::size_t>(2, entry.size())
                               : std::min<std::size_t>(1, entry.size());
    return std::vector<std::string>(entry.begin(), entry.end() - static_cast<std::ptrdiff_t>(up));
}

void ContainerNames::Add(const std::vector<std::string>& entry, EntryOrigin origin) {
    if (entry.empty()) {
        return;
    }
    if (origin == EntryOrigin::WarcRecord) {
        // Matched as references are, whichever characters either escapes.
        records_[KeyOf(entry, origin)].Add(PercentDecoded(entry.back()));
    } else if (const std::optional<std::string> path = ArchivePath(entry.back())) {
        files_[KeyOf(entry, origin)].Add(*path);
    }
}

void ContainerNames::Seal() {
    for (auto* lists : {&files_, &records_}) {
        for (auto& [key, list] : *lists) {
            list.Seal();
        }
    }
}

MovieLocation ContainerNames::LocationOf(const std::vector<std::string>& entry,
                                         EntryOrigin origin) const {
    const std::string name = entry.empty() ? std::string() : entry.back();
    if (origin == EntryOrigin::WarcRecord) {
        return {MoviePlace::WarcRecord, name};
    }
    return {MoviePlace::ArchiveEntry, ArchivePath(name).value_or(std::string())};
}

const PresentNames& ContainerNames::NamesAround(const std::vector<std::string>& entry,
                                                EntryOrigin origin) const {
    const auto& lists = origin == EntryOrigin::WarcRecord ? records_ : files_;
    const auto found = lists.find(KeyOf(entry, origin));
    return found != lists.end() ? found->second : none_;
}

}  // namespace velpin
