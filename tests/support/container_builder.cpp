#include "tests/support/container_builder.h"

#include <archive.h>
#include <archive_entry.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace testcontainer {
namespace {

using testmovie::Append;
using testmovie::Cat;
using testmovie::U32;

la_ssize_t AppendBlock(struct archive*, void* client, const void* buffer, size_t length) {
    auto* out = static_cast<Bytes*>(client);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    out->insert(out->end(), bytes, bytes + length);
    return static_cast<la_ssize_t>(length);
}

void Check(struct archive* archive, int status) {
    if (status < ARCHIVE_WARN) {
        throw std::runtime_error(std::string("libarchive: ") + archive_error_string(archive));
    }
}

Bytes FromBase64(const std::string& text) {
    static const std::string kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    Bytes out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const std::size_t value = kDigits.find(c);
        if (value == std::string::npos) {
            continue;  // padding
        }
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> count));
        }
    }
    return out;
}

std::uint32_t Crc32(const Bytes& bytes) {
    return static_cast<std::uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

// A 7z number: the high bits of its first byte say how many bytes follow, low byte first.
Bytes SevenZipNumber(std::uint64_t value) {
    int extra = 0;
    while (extra < 8 && value >> (7 * (extra + 1)) != 0) {
        ++extra;
    }
    Bytes out{
        static_cast<std::uint8_t>((0xFF00u >> extra) | (extra < 8 ? value >> (8 * extra) : 0))};
    for (int i = 0; i < extra; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

}  // namespace

Bytes SevenZip(const Bytes& packed, const Bytes& header) {
    const Bytes next =
        Cat({U32(static_cast<std::uint32_t>(packed.size())), U32(0),
             U32(static_cast<std::uint32_t>(header.size())), U32(0), U32(Crc32(header))});
    return Cat({{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4}, U32(Crc32(next)), next, packed, header});
}

Bytes SolidSevenZip(const std::vector<Member>& members) {
    Bytes packed;
    Bytes sizes;  // of every member but the last, which has what the folder leaves
    Bytes crcs;
    Bytes names{0};  // not external
    for (const Member& member : members) {
        if (&member != &members.back()) {
            Append(sizes, SevenZipNumber(member.bytes.size()));
        }
        Append(packed, member.bytes);
        Append(crcs, U32(Crc32(member.bytes)));
        // UTF-8 of one to three bytes, as UTF-16 units: "\xED\xA0\x80" makes a lone surrogate.
        for (std::size_t at = 0; at < member.name.size();) {
            const auto lead = static_cast<std::uint8_t>(member.name[at]);
            const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;
            unsigned unit = length == 1 ? lead : lead & (0x7F >> length);
            for (std::size_t i = 1; i < length; ++i) {
                unit = unit << 6 | (static_cast<std::uint8_t>(member.name[at + i]) & 0x3F);
            }
            Append(names, {static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8)});
            at += length;
        }
        Append(names, {0, 0});
    }
    const Bytes count = SevenZipNumber(members.size());
    const Bytes total = SevenZipNumber(packed.size());
    // Header, main streams: one packed stream at offset 0, which one folder of one coder copies
    // out, cut into the members' streams, each with its CRC-32; then the members' names.
    Bytes header = Cat({{0x01, 0x04, 0x06, 0x00, 0x01, 0x09}, total});
    Append(header, Cat({{0x00, 0x07, 0x0B, 0x01, 0x00, 0x01, 0x01, 0x00, 0x0C}, total}));
    Append(header, Cat({{0x00, 0x08, 0x0D}, count, {0x09}, sizes, {0x0A, 0x01}, crcs}));
    Append(header, Cat({{0x00, 0x00, 0x05}, count, {0x11}, SevenZipNumber(names.size()), names}));
    Append(header, {0x00, 0x00});
    return SevenZip(packed, header);
}

Bytes HostileSevenZip() {
    return FromBase64(
        "N3q8ryccAAK+5/TfEAAAAAAAAABlAAAAAAAAAGPjIZ0BAANhYWEKAAEAA2JiYgoAAQQGAAIJCAgKAV8qLrs4QX3s"
        "AAcL4yGdAQADYWFhCgABAANiYmIKAAEEBgACCQgIAgABISEBFgEhMgEWDAQECgGVXfhz4R8mTAAIAAAFAhMZAGEA"
        "LgB0AHgAdAAAAAD/AAAAAAB4AHQAAAAUAQADYQAAAAAAAGPjIZ0BAANhYWEKAAEAA2LcttUBgJuY9Ny21QEAAA==");
}

Bytes CompressedHostileSevenZip() {
    return FromBase64(
        "N3q8ryccAAIQS4ZlbwAAAAAAAABSAAAAAAAAABN4WYEBAANhYWEKAAEAA2JiYgoAAACBMweuMZjHQVXf7D3Pozpw"
        "aAJtdMfZ9AEWCVs7Wi8/2ms3AoSFg1lGL1ILxhMLKJb9QFjlsyIIUfZ0ErmA70wSu6IFwsJPyP0rMl715FAFam6b"
        "CTmscDjo/8M8QAAXBv8QAAAAAAAAAP8BAAAAAAAAAAn/XwAAAAAAAAAABwv/AQAAAAAAAAAA/wEAAAAAAAAAIwMB"
        "Af8FAAAAAAAAAF0AAAEADP9lAAAAAAAAAAAA");
}

Bytes RecursiveGzip() {
    return FromBase64(
        "H4sIAVAt7/c8AHD/AAD/H4sICQBkQAnr/3MJGwBw/wAA/x+LCAgIAFEACQkcAHD/AAD/H4sIEf8H/+/3PABw/wAA"
        "/x+LCAkAZEAJ6/9z7hsAcP8AAP8fiwgICABRAAkJHABw/wAA/x+LCBH/B///6wEJdxH/B///cwkbAHD/AAD/H4sI"
        "CAgAUQAJCRwAcP8AAP8fiwgR/wf/7/c8AHD/AAD/H4sICQBkQAnr/zwAcP8AAP8fiwgJAGRACev/c+5jaGEBCXcR"
        "/wf//3MJGwBw/wAA/x+LCAgIAFEACQkcAHD/AAD/H4sIEf8H/+/3PABw/wAA/x+LCAkAZEAJ6/88gcPCw8PDw8PD"
        "w8PBw8PDw8PDw8PDw8Plw8PDiAEAw0OfCAtdw8M=");
}

Bytes Archive(ArchiveFormat format, const std::vector<Member>& members, ArchiveFilter filter,
              std::optional<std::int64_t> modified) {
    std::unique_ptr<struct archive, decltype(&archive_write_free)> owned(archive_write_new(),
                                                                         &archive_write_free);
    struct archive* archive = owned.get();
    switch (format) {
        case ArchiveFormat::Zip:
            Check(archive, archive_write_set_format_zip(archive));
            break;
        case ArchiveFormat::SevenZip:
            Check(archive, archive_write_set_format_7zip(archive));
            break;
        case ArchiveFormat::Tar:
            Check(archive, archive_write_set_format_pax_restricted(archive));
            break;
    }
    switch (filter) {
        case ArchiveFilter::None:
            break;
        case ArchiveFilter::Gzip:
            Check(archive, archive_write_add_filter_gzip(archive));
            break;
        case ArchiveFilter::Bzip2:
            Check(archive, archive_write_add_filter_bzip2(archive));
            break;
        case ArchiveFilter::Xz:
            Check(archive, archive_write_add_filter_xz(archive));
            break;
        case ArchiveFilter::Zstd:
            Check(archive, archive_write_add_filter_zstd(archive));
            break;
    }
    // Blocks of one byte: the archive ends where its data ends, with no padding to cut.
    archive_write_set_bytes_per_block(archive, 1);
    Bytes out;
    Check(archive, archive_write_open(archive, &out, nullptr, AppendBlock, nullptr));
    for (const Member& member : members) {
        std::unique_ptr<struct archive_entry, decltype(&archive_entry_free)> entry(
            archive_entry_new(), &archive_entry_free);
        archive_entry_set_pathname(entry.get(), member.name.c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(member.bytes.size()));
        if (modified) {
            archive_entry_set_mtime(entry.get(), static_cast<time_t>(*modified), 0);
        }
        if (!member.hardLink.empty()) {
            archive_entry_set_hardlink(entry.get(), member.hardLink.c_str());
        } else if (!member.symbolicLink.empty()) {
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink(entry.get(), member.symbolicLink.c_str());
        }
        Check(archive, archive_write_header(archive, entry.get()));
        if (!member.bytes.empty() &&
            archive_write_data(archive, member.bytes.data(), member.bytes.size()) < 0) {
            Check(archive, ARCHIVE_FATAL);
        }
    }
    Check(archive, archive_write_close(archive));
    return out;
}

Bytes StoredZip(const std::vector<Member>& members, std::uint16_t flags, std::uint32_t dosTime) {
    Bytes out;
    Bytes central;
    const auto put = [](Bytes& to, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i, value >>= 8) {
            to.push_back(static_cast<std::uint8_t>(value));
        }
    };
    for (const Member& member : members) {
        const std::uint32_t crc =
            crc32(0, member.bytes.data(), static_cast<uInt>(member.bytes.size()));
        const std::size_t offset = out.size();
        for (Bytes* to : {&out, &central}) {
            const bool local = to == &out;
            put(*to, local ? 0x04034b50 : 0x02014b50, 4);
            put(*to, 20, local ? 2 : 4);  // versions made by and needed
            const Bytes& stored = member.method == 0 ? member.bytes : member.stored;
            put(*to, flags, 2);
            put(*to, member.method, 2);
            put(*to, dosTime, 4);
            put(*to, crc, 4);
            put(*to, stored.size(), 4);
            put(*to, member.bytes.size(), 4);
            put(*to, member.name.size(), 2);
            put(*to, 0, local ? 2 : 12);  // extra; comment, disk, attributes
            if (!local) {
                put(*to, offset, 4);
            }
            to->insert(to->end(), member.name.begin(), member.name.end());
            if (local) {
                to->insert(to->end(), stored.begin(), stored.end());
            }
        }
    }
    const std::size_t directory = out.size();
    out.insert(out.end(), central.begin(), central.end());
    put(out, 0x06054b50, 4);
    put(out, 0, 4);
    put(out, members.size(), 2);
    put(out, members.size(), 2);
    put(out, central.size(), 4);
    put(out, directory, 4);
    put(out, 0, 2);
    return out;
}

Bytes ZipLzma(const Bytes& data) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 1);
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&stream, &options) != LZMA_OK) {
        throw std::runtime_error("lzma_alone_encoder failed");
    }
    Bytes alone(data.size() + data.size() / 2 + 1024);
    stream.next_in = data.data();
    stream.avail_in = data.size();
    stream.next_out = alone.data();
    stream.avail_out = alone.size();
    const lzma_ret ended = lzma_code(&stream, LZMA_FINISH);
    alone.resize(alone.size() - stream.avail_out);
    lzma_end(&stream);
    if (ended != LZMA_STREAM_END) {
        throw std::runtime_error("lzma_code failed");
    }
    // The .lzma header is the properties and an 8-byte size, which a zip entry leaves out.
    Bytes entry{9, 4, 5, 0};
    entry.insert(entry.end(), alone.begin(), alone.begin() + 5);
    entry.insert(entry.end(), alone.begin() + 13, alone.end());
    return entry;
}

Bytes Gzip(const Bytes& data, bool raw) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, raw ? -MAX_WBITS : 16 + MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("zlib: deflateInit2 failed");
    }
    Bytes out(deflateBound(&z, data.size()) + 32);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) {
        throw std::runtime_error("zlib: deflate did not finish");
    }
    return out;
}

Bytes HttpResponse(const std::vector<std::string>& headers, const Bytes& body) {
    std::string head = "HTTP/1.1 200 OK\r\n";
    for (const std::string& header : headers) {
        head += header + "\r\n";
    }
    head += "\r\n";
    Bytes out(head.begin(), head.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Chunked(const Bytes& data, std::size_t chunkBytes) {
    Bytes out;
    const auto text = [&out](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
    for (std::size_t at = 0; at < data.size(); at += chunkBytes) {
        const std::size_t n = std::min(chunkBytes, data.size() - at);
        char size[20];
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        text(size);
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + n));
        text("\r\n");
    }
    text("0\r\n\r\n");
    return out;
}

Bytes WarcRecordBytes(const WarcRecord& record) {
    std::string head = record.version + "\r\nWARC-Type: " + record.type +
                       "\r\nWARC-Record-ID: <urn:uuid:00000000-0000-0000-0000-000000000000>" +
                       "\r\nWARC-Date: 2024-01-01T00:00:00Z";
    if (!record.uri.empty()) {
        head += "\r\nWARC-Target-URI: " + record.uri;
    }
    if (record.type == "response") {
        head += "\r\nContent-Type: application/http; msgtype=response";
    } else if (!record.contentType.empty()) {
        head += "\r\nContent-Type: " + record.contentType;
    }
    head += "\r\nContent-Length: " + std::to_string(record.block.size()) + "\r\n\r\n";
    Bytes out(head.begin(), head.end());
    out.insert(out.end(), record.block.begin(), record.block.end());
    const std::string tail = "\r\n\r\n";
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

Bytes Warc(const std::vector<WarcRecord>& records, bool gzipPerRecord) {
    Bytes out;
    for (const WarcRecord& record : records) {
        const Bytes bytes = WarcRecordBytes(record);
        testmovie::Append(out, gzipPerRecord ? Gzip(bytes) : bytes);
    }
    return out;
}

}  // namespace testcontainer
