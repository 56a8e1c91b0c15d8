// The keys of the JSON outputs as their schemas describe them, for the manual page: what each
// output is, and every key it can carry with its words, so that the manual cannot drift from
// the schemas the tests hold the outputs to.
#pragma once

#include <string>
#include <vector>

namespace velpin {

struct SchemaKey {
    std::string path;  // "movie.codes.*.count": "." between keys, "[]" for an array's items
    std::string description;
};

struct SchemaOutput {
    std::string file;
    std::string title;
    std::string description;
    std::vector<SchemaKey> keys;
};

// The schemas of a folder, the shared envelope first; throws std::runtime_error naming every key
// that has no description, since the manual would print it bare.
std::vector<SchemaOutput> ReadSchemas(const std::string& folder);

}  // namespace velpin
