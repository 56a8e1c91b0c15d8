// The names a container file holds, for finding what its movies reference among their
// neighbours.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "analysis/dependencies.h"
#include "archive/container_walk.h"

namespace velpin {

// For --deps: the names inside one scanned container file, each under the entry path of the
// container that holds it, so that a movie's references are looked up among its neighbours. The
// records of all the WARCs of one archive (the WARCs of a WACZ) count as one web archive.
class ContainerNames {
  public:
    void Add(const std::vector<std::string>& entry, EntryOrigin origin);
    void Seal();
    // Where the movie at `entry` lies, and the names its references are looked up in.
    MovieLocation LocationOf(const std::vector<std::string>& entry, EntryOrigin origin) const;
    const PresentNames& NamesAround(const std::vector<std::string>& entry,
                                    EntryOrigin origin) const;

  private:
    static std::vector<std::string> KeyOf(const std::vector<std::string>& entry,
                                          EntryOrigin origin);
    std::map<std::vector<std::string>, NameList> files_;
    std::map<std::vector<std::string>, NameList> records_;
    NameList none_;
};

}  // namespace velpin
