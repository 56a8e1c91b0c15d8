// What `scan` reads: the files named on its command line or in lists of paths, and the movie and
// container files under the folders named there.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velpin {

// One path to scan. A file a walk found is a container or a movie by its name; a file the user
// named is recognised by its content.
struct ScanPath {
    std::string path;
    bool named = false;
    // Standard input, read once as one movie or container; `path` is the name its rows carry.
    bool standardInput = false;
    // Why the folder `path` could not be listed (to its end): what it held is missing.
    std::optional<std::string> unlisted = std::nullopt;
};

// Takes every operand that is not a folder as it is, and walks each folder for the regular files
// whose names end in ".swf" or in a container's suffix (see HasContainerSuffix), in any case.
// Links to folders are not followed, so no walk can go round in a loop; a folder that cannot be
// listed is taken too, with the reason. In byte order of the path, each once however often it was
// named or reached.
std::vector<ScanPath> CollectScanInputs(const std::vector<std::string>& operands);

// The paths of a list file (`-` for standard input), separated by `separator` (a newline or a NUL
// byte; a CR before a newline, and a UTF-8 byte-order mark at the start of a list of lines, are
// dropped); empty names are skipped. Raises EInOutError when the list cannot be read.
std::vector<std::string> ReadPathList(const std::string& listPath, char separator);

}  // namespace velpin
