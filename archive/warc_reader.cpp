#include "archive/warc_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string_view>
#include <utility>

#include "archive/decode_budget.h"
#include "archive/inflating_stream.h"
#include "base/ascii.h"

namespace velpin {

namespace {

// Header lines and blocks of header lines are far smaller than these in every real archive; the
// caps keep a hostile file from making a header line the size of the disk.
constexpr std::size_t kMaxLineBytes = 64 * 1024;
constexpr int kMaxHeaderLines = 1000;
constexpr std::size_t kMaxChunkLineBytes = 4 * 1024;
constexpr std::size_t kMaxVersionLineBytes = 32;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Header fields by lowercase name; a repeated field keeps its first value, continuation lines
// are joined to the field they continue.
struct HeaderFields {
    std::vector<std::pair<std::string, std::string>> fields;

    std::optional<std::string> Get(std::string_view lowerName) const {
        for (const auto& [name, value] : fields) {
            if (name == lowerName) {
                return value;
            }
        }
        return std::nullopt;
    }
};

// Reads header lines up to the empty line that ends them. Returns false when the stream ended
// first (the caller decides what that means).
bool ReadHeaderFields(LineReader& in, HeaderFields& headers, bool entryLevel) {
    std::string line;
    for (int count = 0;; ++count) {
        if (count == kMaxHeaderLines) {
            RaiseStreamError(entryLevel, "a header holds more than " +
                                             std::to_string(kMaxHeaderLines) + " lines");
        }
        if (!in.ReadLine(line, kMaxLineBytes, entryLevel)) {
            return false;
        }
        if (line.empty()) {
            return true;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !headers.fields.empty()) {
            headers.fields.back().second += ' ';
            headers.fields.back().second += Trimmed(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;  // not a field; real archives hold such lines, and they name nothing used
        }
        headers.fields.emplace_back(AsciiLowered(Trimmed(std::string_view(line).substr(0, colon))),
                                    std::string(Trimmed(std::string_view(line).substr(colon + 1))));
    }
}

bool ListHas(const std::string& list, std::string_view token) {
    const std::string lower = AsciiLowered(list);
    std::size_t start = 0;
    while (start <= lower.size()) {
        const std::size_t comma = std::min(lower.find(',', start), lower.size());
        std::string_view item = Trimmed(std::string_view(lower).substr(start, comma - start));
        item = item.substr(0, item.find(';'));
        if (Trimmed(item) == token) {
            return true;
        }
        start = comma + 1;
    }
    return false;
}

// Undoes "Transfer-Encoding: chunked": hex size lines, each chunk followed by CR LF, a chunk of
// size 0 and trailer lines at the end.
class ChunkedStream : public ByteStream {
  public:
    explicit ChunkedStream(LineReader& in) : in_(in) {}

    // Some crawlers stored the payload already de-chunked but kept the header; such a payload
    // does not start with a size line, and is then read as it is, as browsers would show it.
    static bool LooksChunked(const std::vector<std::uint8_t>& head) {
        std::size_t digits = 0;
        while (digits < head.size() && std::isxdigit(head[digits]) != 0) {
            ++digits;
        }
        return digits > 0 && digits < head.size() &&
               (head[digits] == '\r' || head[digits] == '\n' || head[digits] == ';' ||
                head[digits] == ' ');
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        if (done_ || count == 0) {
            return 0;
        }
        if (left_ == 0) {
            if (started_) {
                ExpectLineEnd();
            }
            started_ = true;
            left_ = NextChunkSize();
            if (left_ == 0) {
                HeaderFields trailers;
                if (!ReadHeaderFields(in_, trailers, true)) {
                    throw EntryError("the chunked payload is cut off in its trailer");
                }
                done_ = true;
                return 0;
            }
        }
        const std::size_t asked = static_cast<std::size_t>(std::min<std::uint64_t>(count, left_));
        const std::size_t got = in_.Read(buffer, asked);
        if (got == 0) {
            throw EntryError("the chunked payload is cut off inside a chunk");
        }
        left_ -= got;
        return got;
    }

  private:
    std::uint64_t NextChunkSize() {
        std::string line;
        if (!in_.ReadLine(line, kMaxChunkLineBytes, true)) {
            throw EntryError("the chunked payload is cut off before its last chunk");
        }
        const std::string_view digits = Trimmed(std::string_view(line).substr(0, line.find(';')));
        std::uint64_t size = 0;
        const auto end = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
        if (digits.empty() || end.ec != std::errc() || end.ptr != digits.data() + digits.size()) {
            throw EntryError("the chunked payload has a malformed chunk size line");
        }
        return size;
    }

    void ExpectLineEnd() {
        std::string line;
        if (!in_.ReadLine(line, kMaxChunkLineBytes, true) || !line.empty()) {
            throw EntryError("a chunk of the chunked payload is not followed by its line end");
        }
    }

    LineReader& in_;
    std::uint64_t left_ = 0;
    bool started_ = false;
    bool done_ = false;
};

// The status code of an HTTP status line, or 0.
int StatusCode(const std::string& statusLine) {
    const std::size_t space = statusLine.find(' ');
    int code = 0;
    if (space == std::string::npos || statusLine.size() < space + 4) {
        return 0;
    }
    const char* digits = statusLine.data() + space + 1;
    return std::from_chars(digits, digits + 3, code).ec == std::errc() ? code : 0;
}

// Reads the header of the final response, after any interim ones, into `headers`.
void ReadFinalResponseHeaders(LineReader& http, HeaderFields& headers) {
    std::string statusLine;
    // Interim responses (100 Continue, 103 Early Hints) come before the final one on the same
    // exchange; 101 switches protocols and is final.
    for (int interim = 0;; ++interim) {
        if (interim == kMaxHeaderLines) {
            throw EntryError("the HTTP response holds more than " +
                             std::to_string(kMaxHeaderLines) + " interim responses");
        }
        http.ReadLine(statusLine, kMaxLineBytes, true);
        headers.fields.clear();
        if (!ReadHeaderFields(http, headers, true)) {
            throw EntryError("the HTTP headers are cut off");
        }
        const int code = StatusCode(statusLine);
        if (code < 100 || code > 199 || code == 101) {
            return;
        }
    }
}

// Passes an HTTP response's payload to the visitor with its codings undone, and gives back what
// the visitor returns. A block that does not start with a status line (a DNS or other non-HTTP
// response) is the payload itself.
bool VisitResponse(const std::string& name, ByteStream& block, const WarcPayloadVisitor& visit,
                   DecodeBudget* budget) {
    PeekedStream peeked(block, 5);
    if (peeked.Head().size() < 5 || std::memcmp(peeked.Head().data(), "HTTP/", 5) != 0) {
        return visit(name, peeked);
    }
    LineReader http(peeked);
    HeaderFields headers;
    try {
        ReadFinalResponseHeaders(http, headers);
    } catch (const Error& error) {
        if (!IsEntryError(error)) {
            throw;
        }
        // The record is still there: its payload could not be found, which its entry says.
        FailedStream failed(error.what());
        return visit(name, failed);
    }
    ByteStream* payload = &http;
    // The look at the first chunk line is given back through the peeked stream, so the payload
    // loses no byte whichever way it is read.
    PeekedStream chunkHead(http, 32);
    LineReader chunkLines(chunkHead);
    ChunkedStream chunked(chunkLines);
    const std::optional<std::string> transfer = headers.Get("transfer-encoding");
    if (transfer && ListHas(*transfer, "chunked") &&
        ChunkedStream::LooksChunked(chunkHead.Head())) {
        payload = &chunked;
    } else {
        payload = &chunkHead;
    }
    std::optional<InflatingStream> decoded;
    const std::string coding = AsciiLowered(headers.Get("content-encoding").value_or(""));
    if (coding == "gzip" || coding == "x-gzip") {
        payload = &decoded.emplace(*payload, Deflation::Gzip, true);
    } else if (coding == "deflate") {
        payload = &decoded.emplace(*payload, Deflation::ZlibOrRaw, true);
    }
    ChargedStream charged(*payload, decoded ? budget : nullptr);
    return visit(name, charged);
}

std::uint64_t ContentLength(const HeaderFields& headers) {
    const std::optional<std::string> text = headers.Get("content-length");
    std::uint64_t length = 0;
    if (text) {
        const auto end = std::from_chars(text->data(), text->data() + text->size(), length);
        if (!text->empty() && end.ec == std::errc() && end.ptr == text->data() + text->size()) {
            return length;
        }
    }
    throw ContainerError("a WARC record has no valid Content-Length: " + text.value_or(""));
}

// The record's target URI, or its record ID when it has none (a resource from a local file).
std::string RecordName(const HeaderFields& headers) {
    std::string uri = headers.Get("warc-target-uri").value_or("");
    if (uri.empty()) {
        uri = headers.Get("warc-record-id").value_or("");
    }
    // The WARC/1.1 grammar once wrote the URI in angle brackets, and some writers followed it.
    if (uri.size() >= 2 && uri.front() == '<' && uri.back() == '>') {
        uri = uri.substr(1, uri.size() - 2);
    }
    return uri;
}

// A version line's text as it can be read in a message: control characters escaped.
std::string Visible(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        if (c == '\r') {
            shown += "\\r";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

// The gzip members of a compressed WARC by where they start, in the decompressed stream and in
// the file, so that a damaged record is reported at an offset that can be looked up: its member's
// in the file when it starts one, else its own in the decompressed data.
class MemberMap : public ByteStream {
  public:
    explicit MemberMap(InflatingStream& in) : in_(in) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        std::size_t got = 0;
        try {
            got = in_.Read(buffer, count);
        } catch (const Error& error) {
            failed_ = failed_ || !IsEntryError(error);
            throw;
        }
        if (got > 0 && (starts_.empty() || starts_.back().second != in_.MemberStart())) {
            starts_.emplace_back(decoded_, in_.MemberStart());
        }
        decoded_ += got;
        return got;
    }
    // Whether the record at `position` of the decompressed stream starts a member of its own;
    // where it is told to be goes to `where`.
    bool StartsMember(std::uint64_t position, std::string& where) {
        while (starts_.size() > 1 && starts_[1].first <= position) {
            starts_.pop_front();
        }
        if (!starts_.empty() && starts_.front().first == position) {
            where = "byte " + std::to_string(starts_.front().second);
            return true;
        }
        where = "byte " + std::to_string(position) + " of the decompressed data";
        return false;
    }
    // Whether the inflater failed since the last call.
    bool TakeFailure() { return std::exchange(failed_, false); }

  private:
    InflatingStream& in_;
    std::deque<std::pair<std::uint64_t, std::uint64_t>> starts_;
    std::uint64_t decoded_ = 0;
    bool failed_ = false;
};

// The WARC's own input: whether it failed, which no resync gets past (a WARC inside a container
// that broke under it), and how far it has been read, which every resync must move on.
class InputWatch : public ByteStream {
  public:
    explicit InputWatch(ByteStream& inner) : inner_(inner) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        try {
            const std::size_t got = inner_.Read(buffer, count);
            read_ += got;
            return got;
        } catch (const Error&) {
            failed_ = true;
            throw;
        }
    }
    bool Failed() const { return failed_; }
    std::uint64_t BytesRead() const { return read_; }

  private:
    ByteStream& inner_;
    std::uint64_t read_ = 0;
    bool failed_ = false;
};

// Reads the records of one WARC in turn; after a record that cannot be read it goes on with the
// next one that can be found.
class RecordReader {
  public:
    RecordReader(ByteStream& in, const WarcPayloadVisitor& visit, const WarcDamageVisitor& damaged,
                 DecodeBudget* budget, std::int64_t& withoutPayload,
                 const WarcRevisitVisitor& revisited)
        : input_(in),
          raw_(input_, 2),
          lines_(Source(budget)),
          visit_(visit),
          damaged_(damaged),
          budget_(budget),
          withoutPayload_(withoutPayload),
          revisited_(revisited) {}

    void ReadAll() {
        for (;;) {
            std::uint64_t start = lines_.Position();
            std::string name;
            try {
                if (!FindVersionLine(start) || !ReadRecord(name)) {
                    return;
                }
            } catch (const BudgetError&) {
                throw;
            } catch (const Error& error) {
                if (IsEntryError(error) || input_.Failed()) {
                    throw;
                }
                if (!PassDamage(start, name, error)) {
                    return;
                }
            }
        }
    }

  private:
    // The records' bytes: the file's, or what its gzip members inflate to, charged to `budget`.
    ByteStream& Source(DecodeBudget* budget) {
        if (!StartsGzip(raw_.Head().data(), raw_.Head().size())) {
            return raw_;
        }
        inflated_.emplace(raw_, Deflation::Gzip, false, true);
        members_.emplace(*inflated_);
        return charged_.emplace(*members_, budget);
    }

    // Reads up to the version line of the next record, which it leaves in `line_`, and says in
    // `start` where that line starts. False at the end of the stream.
    bool FindVersionLine(std::uint64_t& start) {
        // Records are separated by two line ends; writers that left them out or added more are
        // read all the same. After damage, lines up to the next record are passed over.
        for (;;) {
            start = lines_.Position();
            // Past damage, lines of any length are passed over; a version line is short.
            if (!(resyncing_ ? lines_.ReadLineStart(line_, kMaxVersionLineBytes, tail_)
                             : lines_.ReadLine(line_, kMaxLineBytes, false))) {
                return false;
            }
            if (resyncing_) {
                if (line_.compare(0, 5, "WARC/") == 0 || VersionEndsLine(start)) {
                    break;
                }
                continue;
            }
            // Zero bytes pad some files to a block size, after the last record or between two.
            const std::size_t padding = std::min(line_.find_first_not_of('\0'), line_.size());
            line_.erase(0, padding);
            start += padding;
            if (!line_.empty()) {
                break;
            }
        }
        const bool resynced = std::exchange(resyncing_, false);
        // Stray bytes before a record's version line are damage of their own; the record after
        // them is read.
        for (const char* version : {"WARC/1.0", "WARC/1.1"}) {
            const std::size_t at = line_.size() - std::min<std::size_t>(line_.size(), 8);
            if (!resynced && at > 0 && line_.compare(at, 8, version) == 0) {
                damaged_("", "record at " + Where(start) + ": not a WARC record");
                line_.erase(0, at);
                start += at;
            }
        }
        if (line_ != "WARC/1.0" && line_ != "WARC/1.1") {
            throw ContainerError(line_.compare(0, 5, "WARC/") == 0
                                     ? "unsupported WARC version: " +
                                           Visible(std::string_view(line_).substr(5, 16))
                                     : std::string("not a WARC record"));
        }
        return true;
    }

    // Whether the line just passed over past damage ends in a version line after stray bytes:
    // the record there is read, and `start` moved to it.
    bool VersionEndsLine(std::uint64_t& start) {
        std::string bare = tail_;
        for (const char ending : {'\n', '\r'}) {
            if (!bare.empty() && bare.back() == ending) {
                bare.pop_back();
            }
        }
        for (const char* version : {"WARC/1.0", "WARC/1.1"}) {
            if (bare.size() >= 8 && bare.compare(bare.size() - 8, 8, version) == 0) {
                start = lines_.Position() - (tail_.size() - bare.size()) - 8;
                line_ = version;
                return true;
            }
        }
        return false;
    }

    // Reads the record after its version line: its header, whose name goes to `name`, and its
    // block, which goes to the visitor when it carries a resource. False when the visitor wants
    // no more.
    bool ReadRecord(std::string& name) {
        HeaderFields headers;
        if (!ReadHeaderFields(lines_, headers, false)) {
            throw ContainerError("the container is cut off in a record's header");
        }
        name = RecordName(headers);
        BoundedStream block(lines_, ContentLength(headers));
        const std::string type = AsciiLowered(headers.Get("warc-type").value_or(""));
        if (type == "response" || type == "resource") {
            try {
                const bool goOn = type == "response" ? VisitResponse(name, block, visit_, budget_)
                                                     : visit_(name, block);
                if (!goOn) {
                    return false;
                }
            } catch (const Error& error) {
                // A damaged payload ends its own record only: the block's length still says
                // where the next one starts.
                if (!IsEntryError(error)) {
                    throw;
                }
            }
        } else {
            if (type == "revisit" && revisited_) {
                revisited_(name);
            }
            ++withoutPayload_;
        }
        Drain(block);
        return true;
    }

    // Where the record at `start` of the records' bytes is to be told to be; `ownMember` says
    // whether it starts a gzip member of its own.
    std::string Where(std::uint64_t start, bool* ownMember = nullptr) {
        std::string where = "byte " + std::to_string(start);
        const bool own = members_ && members_->StartsMember(start, where);
        if (ownMember != nullptr) {
            *ownMember = own;
        }
        return where;
    }

    // Reports the record at `start` that `error` broke, and makes ready to find the next one.
    // False when nothing more can be read.
    bool PassDamage(std::uint64_t start, const std::string& name, const Error& error) {
        // Damage met again where nothing has been read since the last is the same damage: told
        // once, it would otherwise be told without end.
        const std::pair<std::uint64_t, std::uint64_t> reached{input_.BytesRead(),
                                                              lines_.Position()};
        if (reached == lastDamage_) {
            return false;
        }
        lastDamage_ = reached;
        bool ownMember = false;
        damaged_(name, "record at " + Where(start, &ownMember) + ": " + error.what());
        resyncing_ = true;
        // Damaged compressed data, or a record that began a member of its own: the next member
        // is where the next record starts.
        if (members_ && (members_->TakeFailure() || ownMember)) {
            if (!inflated_->SkipToNextMember()) {
                return false;
            }
            lines_.Discard();
        }
        return true;
    }

    InputWatch input_;
    PeekedStream raw_;
    std::optional<InflatingStream> inflated_;
    std::optional<MemberMap> members_;
    std::optional<ChargedStream> charged_;
    LineReader lines_;
    const WarcPayloadVisitor& visit_;
    const WarcDamageVisitor& damaged_;
    DecodeBudget* budget_;
    std::int64_t& withoutPayload_;
    const WarcRevisitVisitor& revisited_;
    std::string line_;
    std::string tail_;  // the end of a line passed over past damage
    bool resyncing_ = false;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> lastDamage_;
};

}  // namespace

bool StartsWarcRecord(const std::uint8_t* bytes, std::size_t count) {
    return count >= 5 && std::memcmp(bytes, "WARC/", 5) == 0;
}

void ReadWarcRecords(ByteStream& in, const WarcPayloadVisitor& visit,
                     const WarcDamageVisitor& damaged, DecodeBudget* budget,
                     std::int64_t& withoutPayload, const WarcRevisitVisitor& revisited) {
    RecordReader(in, visit, damaged, budget, withoutPayload, revisited).ReadAll();
}

}  // namespace velpin
