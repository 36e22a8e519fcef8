// Small helpers shared by the fuzz targets: scratch folders and whole-file
// reads and writes. Failures of these helpers are failures of the machine,
// not of the code under test, so they abort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rdzfuzz {

/// A fresh folder under the system's temporary folder, removed with
/// everything in it when the object goes.
class ScratchFolder {
  public:
    explicit ScratchFolder(const char* prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    /// `relative` inside the folder.
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  private:
    std::string path_;
};

/// Writes `size` bytes to `path`, replacing the file; creates missing folders.
void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size);
void WriteText(const std::string& path, const std::string& text);
/// The whole file; aborts when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::string& path);
void CopyFile(const std::string& from, const std::string& to);
/// Removes `path` (a file or a folder with everything in it) when it exists.
void Remove(const std::string& path);

/// Folder of Debian's ICC profiles (libgs-common).
inline const char* kDebianIccFolder = "/usr/share/color/icc/ghostscript";

}  // namespace rdzfuzz
