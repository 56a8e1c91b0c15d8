// Which version of each library a program was built with and runs on: the first thing a bug report
// needs.
#pragma once

#include <string>
#include <vector>

namespace velpin {

struct LibraryVersion {
    std::string name;
    std::string built;    // the version of the headers compiled against
    std::string running;  // the version loaded, or the file it was loaded from where the
                          // library cannot say its own
};

using LibraryVersions = std::vector<LibraryVersion>;

// The file name the shared object holding `symbol` was loaded from, links resolved (its real
// name often carries the full version), or "" when it cannot be told.
std::string LoadedFileOf(const void* symbol);

}  // namespace velpin
