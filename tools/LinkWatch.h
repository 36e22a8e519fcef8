// Which stored device links a conversion computed and which it reused: the
// link stores are listed before and after, and the profiles of stored links
// that are read meanwhile are seen through inotify.
#pragma once

#include <string>
#include <vector>

namespace rdz::tools {

/// A stored device link as the report names it.
struct LinkRecord {
    std::string file;  // the store's folder, "links/<product>/<name>.icc"
    std::string kind;  // "colour-space" or "ink-saving" (from its JSON)
    std::string source;
    std::string destination;
};

class LinkWatch {
  public:
    /// Watches the link stores of these database or store folders (empty
    /// entries are skipped).
    explicit LinkWatch(std::vector<std::string> folders);
    ~LinkWatch();
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    /// Links stored since construction.
    std::vector<LinkRecord> Computed() const;
    /// Links that were there before and whose profile was read since
    /// construction (empty where inotify is not available).
    std::vector<LinkRecord> Reused();

  private:
    std::vector<std::string> folders_;
    std::vector<std::string> before_;  // every stored link profile, by path
    int inotify_ = -1;
    std::vector<std::pair<int, std::string>> watches_;  // descriptor, folder
    std::vector<std::string> read_;                     // paths of profiles read
};

}  // namespace rdz::tools
