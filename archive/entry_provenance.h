// Where an entry came from, as its container (or the file system) stores it: its modification
// time, and for a WARC record what its header says and where it lies in the WARC file.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "archive/warc_reader.h"

namespace velpin {

// A modification time to the second. `utc` false is a zip entry's DOS time, which carries no
// zone: `seconds` then counts its fields as written, as though they were UTC.
struct StoredTime {
    std::int64_t seconds = 0;
    bool utc = true;

    bool operator==(const StoredTime& other) const {
        return seconds == other.seconds && utc == other.utc;
    }
};

// A time in UTC, none outside the years 0000 to 9999 that the text form can spell: a header field
// of a hostile archive can hold any number.
std::optional<StoredTime> UtcTime(std::int64_t secondsSince1970);

// A zip entry's DOS time, which libzip and libarchive make into `madeLocal` through mktime: its
// fields as written, found again in the same zone. None before 1980, which DOS cannot store: a
// date of zeros, which stores no time at all.
std::optional<StoredTime> DosTimeOf(std::time_t madeLocal);

// The modification time of the file at `path`, none when it cannot be had or it is no regular
// file (a FIFO named on the command line).
std::optional<StoredTime> FileModified(const std::string& path);
// The same for an open file, standard input say: none but for a regular file, since a pipe's time
// is only when it was made.
std::optional<StoredTime> DescriptorModified(int descriptor);

struct EntryProvenance {
    std::optional<StoredTime> modified;
    // The WARC record it is the payload of, or lies in; for an entry of a container the record
    // carries, the record's length is not known yet.
    std::optional<WarcRecordInfo> warc;
};

}  // namespace velpin
