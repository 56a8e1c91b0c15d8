#include "base/library_version.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

namespace velpin {

std::string LoadedFileOf(const void* symbol) {
    Dl_info info{};
    if (dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) {
        return "";
    }
    char resolved[PATH_MAX];
    const std::string path =
        realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
    return path.substr(path.rfind('/') + 1);
}

}  // namespace velpin
