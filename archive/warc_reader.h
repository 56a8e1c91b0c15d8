// The records of a WARC file (WARC/1.0 and WARC/1.1, plain or gzip-compressed record by record
// or as a whole) and the HTTP payloads they carry.
//
// Debian 12's libarchive, which reads every other container here, refuses WARC/1.1 records and
// hands over a response record with its HTTP status line and headers still in front of the
// payload, chunked and content-encoded as it went over the wire. What a scan needs of WARC is
// small: the record framing (a version line, header fields, a block of Content-Length bytes) and
// an HTTP response's payload with its transfer and content codings undone. So that part is read
// here, through bounded streams, with our one inflater decoding gzip and deflate.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/byte_stream.h"

namespace velpin {

class DecodeBudget;

// What a record's header says of it, as stored (but the angle brackets some writers put around
// its ID and URI), and of its payload; and where the record lies in the WARC file.
struct WarcRecordInfo {
    std::optional<std::string> recordId;
    std::optional<std::string> type;
    std::optional<std::string> date;
    std::optional<std::string> targetUri;
    std::optional<int> httpStatus;  // the final HTTP response's; none but for an HTTP response
    // The payload's: the HTTP response's Content-Type, or the record's own for a resource record
    // or a response that is no HTTP.
    std::optional<std::string> contentType;
    // The bytes of the WARC as stored that hold the record alone, so that it can be fetched back
    // by them: in a plain WARC the record up to the next one, in a WARC compressed record by
    // record its gzip member. None where no bytes hold it alone (a WARC compressed as a whole),
    // and no length before the record has been read through, or when it cannot be.
    std::optional<std::uint64_t> offset;
    std::optional<std::uint64_t> length;
};

// Called for each record that carries a resource: a response (its HTTP payload, decoded) or a
// resource record (its block). `name` is the record's WARC-Target-URI, or its WARC-Record-ID
// when it has none. The callback may read as much or as little of `payload` as it likes; an
// entry Error it lets through ends that record only. It returns whether the reading goes on.
using WarcPayloadVisitor =
    std::function<bool(const std::string& name, const WarcRecordInfo& record, ByteStream& payload)>;
// Called for each record given to the payload visitor once its length is known: when the next
// record has been found, the WARC has ended, or the record turned out to be damaged. It returns
// whether the reading goes on.
using WarcRecordEndVisitor =
    std::function<bool(const std::string& name, const WarcRecordInfo& record)>;
// Called for a record that cannot be read: `name` as above when its header was read, else empty;
// `message` says where the record starts and what is wrong with it.
using WarcDamageVisitor = std::function<void(const std::string& name, const std::string& message)>;

// Called with the WARC-Target-URI of each revisit record: it names a resource the archive holds
// without carrying it again.
using WarcRevisitVisitor = std::function<void(const std::string& name)>;

// Reads every record of `in` in order, counting in `withoutPayload` the records that carry none.
// After a record that cannot be read the reading goes on with the next one that can be found: in
// a plain WARC at the next line that starts a record, in one compressed record by record at the
// next gzip member. What is decoded is charged to `budget`, whose BudgetError passes through,
// as does whatever else the visitor raises.
void ReadWarcRecords(ByteStream& in, const WarcPayloadVisitor& visit,
                     const WarcDamageVisitor& damaged, DecodeBudget* budget,
                     std::int64_t& withoutPayload, const WarcRevisitVisitor& revisited = nullptr,
                     const WarcRecordEndVisitor& ended = nullptr);

// Whether `bytes` (the start of a stream, decompressed) begin a WARC record.
bool StartsWarcRecord(const std::uint8_t* bytes, std::size_t count);

}  // namespace velpin
