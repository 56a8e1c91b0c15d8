// Which of the strings a movie's code holds name a server or a file, and the distinct, sorted
// lists of them over a whole movie.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace velpin {

enum class ReferenceKind { None, Url, File };

// Url: a scheme, "://" and a character that is not white space. File: no "://", at most
// kMaxFileReferenceBytes, only printable bytes (none below 0x21, no 0x7F), and a name that ends in
// one of the extensions of what movies load (any case), optionally followed by a query ('?') or a
// fragment ('#'); a name with a '*', or whose last segment is its extension alone, names no one
// file.
ReferenceKind ClassifyReference(std::string_view text);

inline constexpr std::size_t kMaxFileReferenceBytes = 2048;

// Gathers references as the code is read. The views point into the movie's bytes. Duplicates are
// folded now and then as they come, so that code pushing the same string a million times costs
// no more memory than code pushing it once.
class ReferenceCollector {
  public:
    // Keeps `text` in its list when it is a reference; returns its kind.
    ReferenceKind Add(std::string_view text);
    void Add(std::string_view text, ReferenceKind kind);

    // The lists, each distinct and sorted by the strings' bytes; the collector is empty after.
    std::vector<std::string_view> TakeUrls() { return Take(urls_); }
    std::vector<std::string_view> TakeFiles() { return Take(files_); }

  private:
    struct List {
        std::vector<std::string_view> texts;
        std::size_t foldAt = 0;
    };
    static void Fold(List& list);
    static std::vector<std::string_view> Take(List& list);

    List urls_;
    List files_;
};

}  // namespace velpin
