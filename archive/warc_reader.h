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
#include <string>

#include "archive/byte_stream.h"

namespace velpin {

class DecodeBudget;

// Called for each record that carries a resource: a response (its HTTP payload, decoded) or a
// resource record (its block). `name` is the record's WARC-Target-URI, or its WARC-Record-ID
// when it has none. The callback may read as much or as little of `payload` as it likes; an
// entry Error it lets through ends that record only. It returns whether the reading goes on.
using WarcPayloadVisitor = std::function<bool(const std::string& name, ByteStream& payload)>;
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
                     std::int64_t& withoutPayload, const WarcRevisitVisitor& revisited = nullptr);

// Whether `bytes` (the start of a stream, decompressed) begin a WARC record.
bool StartsWarcRecord(const std::uint8_t* bytes, std::size_t count);

}  // namespace velpin
