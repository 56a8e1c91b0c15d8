// A look at a 7z archive's header before libarchive reads it. libarchive sizes its tables by the
// counts the header declares, before it checks them against the header's bytes: a few hundred
// hostile bytes can declare tens of millions of folders and have gigabytes allocated and
// cleared. Every count of a plain header is checked here against the bytes left to hold it; a
// compressed header's size is checked against its packed size, and then it is decoded within that
// size and checked as a plain one.
#pragma once

namespace velpin {

// Raises a container Error when the 7z archive open at `fd` (read with pread, from offset 0)
// declares more than its header can hold.
void CheckSevenZipHeader(int fd);

}  // namespace velpin
