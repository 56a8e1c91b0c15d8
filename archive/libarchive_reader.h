// Archives read through libarchive: zip read as a stream, 7z and tar, plain or under one
// compression (gzip, bzip2, xz or zstd), entry by entry, with what each entry decodes charged to
// the budget of the container being read.
#pragma once

#include <locale.h>

#include <memory>
#include <string>

#include "archive/byte_stream.h"
#include "archive/decode_budget.h"
#include "archive/recognise.h"

namespace velpin {

class ArchiveReader {
  public:
    enum class Step {
        Entry,         // the next entry's header was read
        DamagedEntry,  // the next entry's header is damaged, but the archive goes on after it
        // A block where a header should be is damaged past knowing whose it is; the archive goes
        // on with the next header that can be read.
        DamagedHeader,
        End,
        // The data decompresses, but to something else than an archive: for a nested entry, an
        // ordinary file (a gzip-compressed page, say), not a broken container.
        NotAnArchive,
    };

    // Reads the archive whose bytes `in` delivers, or where `path` names a file to seek in, that
    // file. A CompressedArchive `kind` is decompressed first. A nested archive is read at
    // `level` > 1. What is decoded is charged to `budget`. Raises a container Error when the
    // archive cannot be read at all.
    ArchiveReader(ByteStream& in, ContainerKind kind, int level, const std::string* path,
                  DecodeBudget& budget);
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;
    ~ArchiveReader();

    // Moves to the next entry. Raises a container Error when the archive cannot be read on, and
    // at its end, when it was decompressed here, when what follows it does not decompress to the
    // end of the compressed data.
    Step Next();
    // Of the entry moved to: its name in UTF-8, whether it is a regular file (folders and links
    // hold no bytes of their own), and for a damaged one what is wrong with it.
    const std::string& Name() const;
    bool Regular() const;
    std::string Damage() const;
    // For a hard or symbolic link, what it links to, said in words; else empty.
    std::string Link() const;
    // Whether the data is no archive but one movie compressed whole, the one entry, whose name
    // is the one the compression gives it, if any.
    bool SingleMovie() const;
    // Charges what reading the entry will decode before anything of it is read: libarchive
    // decodes a 7z's solid block up to each entry it reaches, whether it is read or passed over.
    void ChargeStart();
    // The entry's data.
    ByteStream& Data();
    // Reads what is left of the entry when passing over it would make libarchive decode it
    // anyway, so that decoding it is charged (an entry error met there is kept, to be told should
    // libarchive meet it again at the next header without saying what it was).
    void Finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Names come out of libarchive in the thread's locale; while one of these lives, it is UTF-8, so
// that no name is lost to a "C" locale, and only in the walking thread.
class Utf8Names {
  public:
    Utf8Names();
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;
    ~Utf8Names();

  private:
    locale_t previous_ = nullptr;
};

}  // namespace velpin
