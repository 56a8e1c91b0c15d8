#include "swfff/document.h"

thread_local std::uint8_t* FileBytes = nullptr;
thread_local std::int64_t FileBytesLength = 0;

const char* LoadResultReason(std::int32_t result) {
    switch (result) {
        case loadOk:
            return "the movie was loaded";
        case loadTooLarge:
            return "the file is larger than 4 MiB";
        case loadTooSmall:
            return "the file is smaller than 21 bytes";
        case loadNoHeaderMemory:
            return "no memory for the header";
        case loadHeaderReadFailed:
            return "the header could not be read";
        case loadNotUncompressedSwf:
            return "the file is not an uncompressed SWF movie";
        case loadLengthMismatch:
            return "the declared file length differs from the file size";
        case loadNoFileMemory:
            return "no memory for the file";
        case loadFileReadFailed:
            return "the file could not be read";
        case loadStructureLeavesFile:
            return "the movie's structure runs past the end of the file";
        case loadNestedTooDeep:
            return "sprites are nested more than 65535 levels deep";
        case loadTooManyItems:
            return "the movie would hold more than 4194304 tag items";
        default:
            return "unknown load result";
    }
}

void InitTagItem(TagItem& item) {
    item = TagItem{};
}

void FreeMovieBytes() {
    delete[] FileBytes;
    FileBytes = nullptr;
    FileBytesLength = 0;
}

void RemoveTagItem(CInputScript& movie, TagItem* item) {
    TagItem* const prev = item->Prev;
    TagItem* const next = item->Next;
    if (prev != nullptr) {
        prev->Next = next;
    } else {
        movie.FirstTag = next;
    }
    if (next != nullptr) {
        next->Prev = prev;
    }
    delete item;
}

void FreeTagList(CInputScript& movie) {
    TagItem* item = movie.FirstTag;
    movie.FirstTag = nullptr;
    while (item != nullptr) {
        TagItem* const next = item->Next;
        delete item;
        item = next;
    }
}
