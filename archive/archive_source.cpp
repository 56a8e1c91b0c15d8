#include "archive/archive_source.h"

#include <cerrno>

namespace velpin {

la_ssize_t ReadArchiveBlock(struct archive* archive, void* client, const void** buffer) {
    auto* source = static_cast<ArchiveSource*>(client);
    try {
        const std::size_t got = source->in->Read(source->block.data(), source->block.size());
        *buffer = source->block.data();
        return static_cast<la_ssize_t>(got);
    } catch (...) {
        source->raised = std::current_exception();
        archive_set_error(archive, EIO, "the container's own input failed");
        return ARCHIVE_FATAL;
    }
}

}  // namespace velpin
