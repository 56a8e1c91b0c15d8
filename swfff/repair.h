// Makes a movie that a lenient load read as far as it goes into one the loader accepts: the
// top-level tags read, byte for byte, up to the one the walk broke in, an End tag after them, and
// a header whose frame count no longer promises frames that were cut away.
#pragma once

#include <cstdint>

#include "swfff/document.h"
#include "swfff/loader.h"

// Whether a movie the loader accepts was made; when none was, nothing is left to write.
enum class RepairResult {
    Repaired,
    // The header, the tags kept and an End make fewer bytes than the loader takes.
    TooShort,
    // Written back, the tags kept still fail to load, and the load stops inside no tag that
    // could be left out.
    StillBreaks,
};

struct RepairOutcome {
    RepairResult result = RepairResult::Repaired;
    // With StillBreaks, what the load of the movie written back returned.
    std::int32_t writtenLoadResult = loadOk;
    std::int64_t topLevelRead = 0;  // the one the walk stopped at included
    std::int64_t topLevelKept = 0;
    bool endAdded = false;
    std::uint16_t frameCountDeclared = 0;
    std::uint16_t frameCountWritten = 0;
    std::uint32_t fileLength = 0;  // of the movie a save now writes
};

// Edits the document a lenient load left (`faults` as it found them, which must be readable) so
// that saving it writes the repaired movie, and marks it Loaded. `streamCut` says that the bytes
// came from a compressed stream that stopped early or broke. The list keeps its items up to the
// last top-level one kept; an End item is appended when needed, whose bytes lie outside FileBytes.
// Should the kept tags still not load (a sprite running on past them), the document is reloaded
// from the bytes a save would write, and top-level tags are dropped from the end until they do,
// or until that load stops past the last of them (StillBreaks). The movie written stays within
// `largestBytes`, the limit the lenient load ran under.
RepairOutcome RepairMovie(CInputScript& script, const LoadFaults& faults, bool streamCut,
                          std::int64_t largestBytes = kLargestMovieBytes);
