// What velpin-cli's manual page tells beside the command line and the outputs: how broken
// movies are read, how dependencies are matched, and how containers are read.
#pragma once

#include <string>
#include <vector>

namespace velpin {

// A paragraph when `term` is empty, else a term and what it means.
struct ManualEntry {
    std::string term;
    std::string text;
};

struct ManualSection {
    std::string title;
    std::vector<ManualEntry> entries;
};

const std::vector<ManualSection>& ManualSections();

}  // namespace velpin
