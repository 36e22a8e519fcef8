#include "tools/LinkWatch.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#if defined(__linux__)
#include <sys/inotify.h>
#endif

namespace rdz::tools {
namespace {

namespace fs = std::filesystem;

bool IsProfile(const fs::path& path) {
    const std::string name = path.filename().string();
    return name.size() > 4 && name[0] != '.' && path.extension() == ".icc";
}

/// Every stored link profile under `<folder>/links/<product>/`.
std::vector<std::string> StoredProfiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator product(fs::path(folder) / "links", ec), end; !ec && product != end;
         product.increment(ec)) {
        std::error_code inner;
        for (fs::directory_iterator file(product->path(), inner), last; !inner && file != last;
             file.increment(inner)) {
            if (IsProfile(file->path())) {
                files.push_back(file->path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

LinkRecord Describe(const std::string& profile) {
    LinkRecord record;
    record.file = profile;
    fs::path json(profile);
    json.replace_extension(".json");
    std::ifstream in(json);
    const nlohmann::json data = nlohmann::json::parse(in, nullptr, false);
    if (data.is_object()) {
        record.kind = data.value("kind", "");
        if (data.contains("source") && data["source"].is_object()) {
            record.source = data["source"].value("process", "");
        }
        if (data.contains("destination") && data["destination"].is_object()) {
            record.destination = data["destination"].value("process", "");
        }
    }
    return record;
}

}  // namespace

LinkWatch::LinkWatch(std::vector<std::string> folders) {
    for (std::string& folder : folders) {
        if (!folder.empty() &&
            std::find(folders_.begin(), folders_.end(), folder) == folders_.end()) {
            folders_.push_back(std::move(folder));
        }
    }
    for (const std::string& folder : folders_) {
        const std::vector<std::string> stored = StoredProfiles(folder);
        before_.insert(before_.end(), stored.begin(), stored.end());
    }
    std::sort(before_.begin(), before_.end());
#if defined(__linux__)
    // A stored link is reused when its profile is read: watch the product
    // folders that hold links already (new ones hold only new links).
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::vector<std::string> productFolders;
    for (const std::string& profile : before_) {
        const std::string folder = fs::path(profile).parent_path().string();
        if (std::find(productFolders.begin(), productFolders.end(), folder) ==
            productFolders.end()) {
            productFolders.push_back(folder);
        }
    }
    for (const std::string& folder : productFolders) {
        const int watch = inotify_ >= 0 ? inotify_add_watch(inotify_, folder.c_str(), IN_OPEN) : -1;
        if (watch >= 0) {
            watches_.emplace_back(watch, folder);
        }
    }
#endif
}

LinkWatch::~LinkWatch() {
    if (inotify_ >= 0) {
        ::close(inotify_);
    }
}

std::vector<LinkRecord> LinkWatch::Computed() const {
    std::vector<LinkRecord> records;
    for (const std::string& folder : folders_) {
        for (const std::string& profile : StoredProfiles(folder)) {
            if (!std::binary_search(before_.begin(), before_.end(), profile)) {
                records.push_back(Describe(profile));
            }
        }
    }
    return records;
}

std::vector<LinkRecord> LinkWatch::Reused() {
#if defined(__linux__)
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = inotify_ >= 0 ? ::read(inotify_, buffer, sizeof buffer) : -1;
        if (got <= 0) {
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0) {
                continue;
            }
            for (const auto& [watch, folder] : watches_) {
                const std::string path = folder + "/" + event->name;
                if (watch == event->wd && IsProfile(path) &&
                    std::binary_search(before_.begin(), before_.end(), path) &&
                    std::find(read_.begin(), read_.end(), path) == read_.end()) {
                    read_.push_back(path);
                }
            }
        }
    }
#endif
    std::vector<LinkRecord> records;
    for (const std::string& path : read_) {
        records.push_back(Describe(path));
    }
    return records;
}

}  // namespace rdz::tools
