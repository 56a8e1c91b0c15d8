// What `scan` reads: the files named on its command line and the movie files under the folders
// named there.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ScanInputs {
    // In byte order of the path, each file once however often it was named or reached.
    std::vector<std::string> paths;
    // False when a folder could not be read; what it held is missing from `paths`.
    bool complete = true;
};

// Takes every operand that is not a folder as it is, and walks each folder for the regular files
// whose names end in ".swf" in any case. Links to folders are not followed, so no walk can go
// round in a loop; a folder that cannot be read is passed to `reportUnreadable` with the reason.
ScanInputs CollectScanInputs(
    const std::vector<std::string>& operands,
    const std::function<void(const std::string& folder, const std::string& reason)>&
        reportUnreadable);
