// velpin-cli save: Delete Tag on the items named by their list indices or their tag codes, then
// Save As, with the signature the movie came with.
#include "Unit1/presentation/MessageTexts.h"
#include "base/error.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "codec/movie_output.h"
#include "input/movie_edit.h"
#include "report/messages.h"
#include "report/output.h"

namespace velpin {

int RunSaveCommand(const SaveOptions& options) {
    return RunOnLoadedMovie(
        {{options.in, options.inflate, false, options.embedded}, OutputMode::Plain},
        [&](CInputScript& movie, const LoadedInput& loaded) {
            const Deletion deletion =
                DeleteItems(movie, options.deleteIndices, options.deleteCodes);
            // An index beyond the list is told only once every item was looked at, but before
            // anything is written.
            if (deletion.beyond) {
                throw Error::Usage("index " + std::to_string(*deletion.beyond) +
                                   " is out of range: the movie has " +
                                   std::to_string(deletion.items) + " tag items");
            }
            // Only a movie inflated here has a signature to keep.
            if (!SaveMovieIn(movie, loaded.head.signature, options.fws, options.out)) {
                WriteErrorLine(options.out, kSaveFailedText);
                return static_cast<int>(exitFailure);
            }
            if (!options.deleteCodes.empty()) {
                WriteNoteLine(RemovalLine(deletion));
            }
            return static_cast<int>(exitOk);
        });
}

}  // namespace velpin
