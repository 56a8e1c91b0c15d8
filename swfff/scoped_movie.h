// The owner of one loaded movie: the document and the thread's FileBytes its items point into are
// released together however the owner's scope ends, so that no caller pairs the two releases by
// hand (or forgets one of them on an early return).
#pragma once

#include "swfff/document.h"

struct ScopedMovie {
    ScopedMovie() = default;
    ScopedMovie(const ScopedMovie&) = delete;
    ScopedMovie& operator=(const ScopedMovie&) = delete;
    ~ScopedMovie() { Release(); }

    // Frees the document's items and this thread's FileBytes; the document can be loaded again.
    void Release();

    CInputScript movie;
};
