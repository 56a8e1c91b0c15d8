#include "analysis/dependencies.h"

#include <sys/stat.h>

#include <algorithm>

#include "base/ascii.h"

namespace velpin {

namespace {

// The five parts of a URI reference (RFC 3986, appendix B); a part that is absent is nothing,
// which differs from one that is present and empty.
struct UriParts {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
};

UriParts SplitUri(std::string_view text) {
    UriParts parts;
    text = text.substr(0, text.find('#'));
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && IsUriScheme(text.substr(0, colon))) {
        parts.scheme = text.substr(0, colon);
        text.remove_prefix(colon + 1);
    }
    if (text.substr(0, 2) == "//") {
        const std::size_t end = text.find_first_of("/?", 2);
        parts.authority = text.substr(2, end == std::string_view::npos ? end : end - 2);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    }
    const std::size_t question = text.find('?');
    parts.path = text.substr(0, question);
    if (question != std::string_view::npos) {
        parts.query = text.substr(question + 1);
    }
    return parts;
}

// RFC 3986 section 5.2.4.
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    const auto dropLastSegment = [&out] {
        const std::size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.substr(0, 4) == "/../") {
            in.remove_prefix(3);
            dropLastSegment();
        } else if (in == "/..") {
            in = "/";
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const std::size_t end = in.find('/', 1);
            out.append(in.substr(0, end));
            in.remove_prefix(end == std::string_view::npos ? in.size() : end);
        }
    }
    return out;
}

// "HOST/PATH" of an http or https URL, as a game archive lays out what a movie loads from the web;
// nothing for any other URL.
std::optional<std::string> HostAndPath(std::string_view url) {
    const UriParts parts = SplitUri(url);
    if (!parts.scheme || !parts.authority) {
        return std::nullopt;
    }
    if (!SameIgnoringAsciiCase(*parts.scheme, "http") &&
        !SameIgnoringAsciiCase(*parts.scheme, "https")) {
        return std::nullopt;
    }
    std::string_view host = *parts.authority;
    const std::size_t at = host.rfind('@');
    if (at != std::string_view::npos) {
        host.remove_prefix(at + 1);
    }
    // A port follows the last colon, unless that colon lies inside an IPv6 literal.
    const std::size_t colon = host.rfind(':');
    if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos) {
        host = host.substr(0, colon);
    }
    if (host.empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> path = NormalisePath(PercentDecoded(parts.path), false);
    if (!path || path->empty()) {
        return std::nullopt;
    }
    return AsciiLowered(host) + "/" + (path->front() == '/' ? path->substr(1) : *path);
}

std::string_view FolderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string_view WithoutFragment(std::string_view text) {
    return text.substr(0, text.find('#'));
}

// Backslashes made slashes: a movie made on Windows separates its folders with them.
std::string WithSlashes(std::string_view text) {
    std::string path(text);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// A file name as a path: the query a loader passes along and the fragment are no part of it.
std::string LocalPath(std::string_view file) {
    return PercentDecoded(WithSlashes(file.substr(0, file.find_first_of("?#"))));
}

// "//host/path": a network-path reference, which names a host but not the scheme to reach it by.
bool NamesHost(std::string_view file) {
    return file.substr(0, 2) == "//" || file.substr(0, 2) == "\\\\";
}

int HexValue(char c) {
    if (IsAsciiDigit(c)) {
        return c - '0';
    }
    const char lower = AsciiLower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

}  // namespace

// Written out: the few URI libraries Debian has decode into their own structures, and this is
// all that a match needs.
std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            decoded.push_back(
                static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

std::optional<std::string> NormalisePath(std::string_view path, bool keepLeadingUp) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> segments;
    std::size_t leadingUps = 0;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (segment.empty() || segment == ".") {
            continue;
        }
        if (segment != "..") {
            segments.push_back(segment);
        } else if (segments.size() > leadingUps) {
            segments.pop_back();
        } else if (absolute) {
            continue;
        } else if (keepLeadingUp) {
            segments.push_back(segment);
            ++leadingUps;
        } else {
            return std::nullopt;
        }
    }
    std::string joined = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        joined.append(i == 0 ? "" : "/").append(segments[i]);
    }
    return joined;
}

std::optional<std::string> ResolveUri(std::string_view base, std::string_view reference) {
    const UriParts r = SplitUri(reference);
    if (r.scheme) {
        std::string target = std::string(*r.scheme) + ":";
        if (r.authority) {
            target.append("//").append(*r.authority);
        }
        target += RemoveDotSegments(r.path);
        if (r.query) {
            target.append("?").append(*r.query);
        }
        return target;
    }
    const UriParts b = SplitUri(base);
    if (!b.scheme) {
        return std::nullopt;
    }
    std::optional<std::string_view> authority = b.authority;
    std::string path;
    std::optional<std::string_view> query = r.query;
    if (r.authority) {
        authority = r.authority;
        path = RemoveDotSegments(r.path);
    } else if (r.path.empty()) {
        path = std::string(b.path);
        query = r.query ? r.query : b.query;
    } else if (r.path.front() == '/') {
        path = RemoveDotSegments(r.path);
    } else if (b.authority && b.path.empty()) {
        path = RemoveDotSegments("/" + std::string(r.path));
    } else {
        path = RemoveDotSegments(std::string(FolderOf(b.path)) + std::string(r.path));
    }
    std::string target = std::string(*b.scheme) + ":";
    if (authority) {
        target.append("//").append(*authority);
    }
    target += path;
    if (query) {
        target.append("?").append(*query);
    }
    return target;
}

void NameList::Add(std::string_view name) {
    reversed_.emplace_back(name.rbegin(), name.rend());
}

void NameList::Seal() {
    std::sort(reversed_.begin(), reversed_.end());
    reversed_.erase(std::unique(reversed_.begin(), reversed_.end()), reversed_.end());
    reversed_.shrink_to_fit();
}

bool NameList::Has(std::string_view name) const {
    return std::binary_search(reversed_.begin(), reversed_.end(),
                              std::string(name.rbegin(), name.rend()));
}

std::optional<std::string> NameList::FindPathEnding(std::string_view tail) const {
    if (Has(tail)) {
        return std::string(tail);
    }
    // The reversed names that start with the reversed "/tail" lie together; the first name in
    // byte order is the smallest of them as written, which is not the first reversed.
    const std::string prefix = std::string(tail.rbegin(), tail.rend()) + "/";
    std::optional<std::string> first;
    for (auto at = std::lower_bound(reversed_.begin(), reversed_.end(), prefix);
         at != reversed_.end() && at->compare(0, prefix.size(), prefix) == 0; ++at) {
        std::string name(at->rbegin(), at->rend());
        if (!first || name < *first) {
            first = std::move(name);
        }
    }
    return first;
}

bool FilesOnDisk::Has(std::string_view name) const {
    struct stat status {};
    return !name.empty() && stat(std::string(name).c_str(), &status) == 0 &&
           S_ISREG(status.st_mode);
}

PlacedReference PlaceReference(const MovieLocation& at, std::string_view text, bool isUrl,
                               const PresentNames& present) {
    const auto lookedFor = [&present](std::string path) {
        return PlacedReference{
            present.Has(path) ? DependencyList::Present : DependencyList::Missing, std::move(path)};
    };
    if (at.place == MoviePlace::WarcRecord) {
        // Resolved as a browser resolves it: a backslash in a relative reference is a slash.
        const std::optional<std::string> uri =
            ResolveUri(at.where, isUrl ? std::string(text) : WithSlashes(text));
        if (!uri) {
            return {DependencyList::Missing, std::string(WithoutFragment(text))};
        }
        return {
            present.Has(PercentDecoded(*uri)) ? DependencyList::Present : DependencyList::Missing,
            *uri};
    }
    if (isUrl) {
        if (at.place == MoviePlace::ArchiveEntry) {
            const std::optional<std::string> tail = HostAndPath(text);
            if (std::optional<std::string> found =
                    tail ? present.FindPathEnding(*tail) : std::nullopt) {
                return {DependencyList::Present, std::move(*found)};
            }
        }
        return {DependencyList::External, std::string(WithoutFragment(text))};
    }
    if (NamesHost(text)) {
        return {DependencyList::External, std::string(WithoutFragment(text))};
    }
    const std::string file = LocalPath(text);
    const bool fromRoot = !file.empty() && file.front() == '/';
    if (at.place == MoviePlace::LooseFile) {
        const std::string joined = fromRoot ? file : std::string(FolderOf(at.where)).append(file);
        return lookedFor(NormalisePath(joined, true).value_or(joined));
    }
    // A name that starts with a slash starts at the container's root; one that climbs above the
    // root names nothing in it, and is shown as it climbs.
    const std::string joined = fromRoot ? file.substr(1) : std::string(FolderOf(at.where)) + file;
    if (const std::optional<std::string> path = NormalisePath(joined, false)) {
        return lookedFor(*path);
    }
    return {DependencyList::Missing, NormalisePath(joined, true).value_or(joined)};
}

Dependencies PlaceReferences(const MovieLocation& at, const std::vector<std::string_view>& files,
                             const std::vector<std::string_view>& urls,
                             const PresentNames& present) {
    Dependencies lists;
    for (const bool isUrl : {false, true}) {
        for (const std::string_view text : isUrl ? urls : files) {
            PlacedReference placed = PlaceReference(at, text, isUrl, present);
            std::vector<Dependency>& list = placed.list == DependencyList::Present ? lists.present
                                            : placed.list == DependencyList::Missing
                                                ? lists.missing
                                                : lists.external;
            list.push_back({std::string(text), std::move(placed.target)});
        }
    }
    for (std::vector<Dependency>* list : {&lists.present, &lists.missing, &lists.external}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    return lists;
}

}  // namespace velpin
