#include "swfff/scoped_movie.h"

void ScopedMovie::Release() {
    FreeTagList(movie);
    FreeMovieBytes();
}
