// The text of a private-profile (INI) file, read and edited the way the
// Windows profile functions do.
#pragma once

#include <string>
#include <vector>

namespace rdz_win32 {

/// Lines of an INI file. Sections ("[name]") and keys ("key=value") are
/// matched ignoring case; blanks around names and values do not count, and
/// a value enclosed in matching single or double quotes is read without
/// them. Lines starting with ';' are comments. Editing keeps every other
/// line as it was.
class IniFile {
  public:
    /// Reads `path` (UTF-8; bytes that are not UTF-8 are taken one by one).
    /// A missing file reads as empty with `exists` false; false when the
    /// file exists but cannot be read.
    bool Load(const std::string& path, bool& exists);
    /// Writes the lines to `path` (CR LF line ends, UTF-8) whole or not at
    /// all (platform/files: a temporary file flushed to disk and renamed over
    /// it; the file keeps its permissions). False when the folder is missing
    /// or not writable.
    bool Save(const std::string& path) const;

    /// The value of `key` in the first section named `section`.
    bool Find(const std::wstring& section, const std::wstring& key, std::wstring& value) const;
    /// Section names in file order.
    std::vector<std::wstring> Sections() const;
    /// Key names of the first section named `section`, in file order.
    std::vector<std::wstring> Keys(const std::wstring& section) const;

    /// Sets `key` of `section` to `value`, adding the key after the
    /// section's last key, or the section at the end of the file.
    void Set(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    void RemoveKey(const std::wstring& section, const std::wstring& key);
    void RemoveSection(const std::wstring& section);

  private:
    // Index of the first line of `section`'s header, or npos.
    std::size_t FindSection(const std::wstring& section) const;
    // One past the last line of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindKey(std::size_t header, const std::wstring& key) const;

    std::vector<std::wstring> m_lines;
};

}  // namespace rdz_win32
