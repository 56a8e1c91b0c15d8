// The strings of ActionScript 1 and 2 byte code (the body of DoAction, and of DoInitAction after
// its sprite id), and of ActionScript 3 byte code (the ABC data of DoABC), handed to a collector.
#pragma once

#include "analysis/references.h"
#include "analysis/tag_reader.h"

namespace velpin {

// Walks the action records in order up to the end action: the strings of ConstantPool, of Push
// and both of GetURL go to `references`. Returns false when a field ran past the body or past
// its record; what was read before it has been handed over.
bool CollectActionStrings(TagReader& actions, ReferenceCollector& references);

// Reads the ABC data's constant pools up to its namespace pool: the strings of the string pool go
// to `references`, except those a namespace names, which are package names and namespace URIs
// rather than anything the code reaches for. Returns false when a field ran past the data; the
// strings read before it, less those the namespaces read before it name, have been handed over.
bool CollectAbcStrings(TagReader& abc, ReferenceCollector& references);

}  // namespace velpin
