// Scratch folders and small file helpers for the file-helper tests.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace filestest {

namespace fs = std::filesystem;

class Scratch {
  public:
    Scratch() {
#ifdef _WIN32
        std::random_device random;
        for (int attempt = 0; attempt < 16 && folder_.empty(); ++attempt) {
            const fs::path folder =
                fs::temp_directory_path() / ("rdz-files-" + std::to_string(random()));
            std::error_code ec;
            if (fs::create_directory(folder, ec)) {
                folder_ = folder.string();
            }
        }
#else
        std::string pattern = (fs::temp_directory_path() / "rdz-files-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            folder_ = pattern;
        }
#endif
    }
    ~Scratch() {
        std::error_code ec;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    const std::string& Folder() const { return folder_; }
    /// Names in the folder, sorted, hidden ones included.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string folder_;
};

inline void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline long ThisProcess() {
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

#ifndef _WIN32
inline unsigned Mode(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}
#endif

}  // namespace filestest
