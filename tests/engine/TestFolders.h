// Temporary folders for the engine tests, and the Windows stand-in's
// application-data folders pointed at them.
#pragma once

#include <filesystem>
#include <string>

/// A fresh folder under the system's temporary folder, removed with
/// everything in it on destruction.
class TemporaryFolder {
  public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

/// Points CSIDL_APPDATA at "<temporary>/user" and CSIDL_COMMON_APPDATA at
/// "<temporary>/common" (both created, empty). On destruction the stand-in
/// returns to its start-up state and the preferences object is released,
/// so that no test sees another's cached value or folders.
class AppDataFolders {
  public:
    AppDataFolders();
    ~AppDataFolders();

    std::filesystem::path User() const { return m_root.Path() / "user"; }
    std::filesystem::path Common() const { return m_root.Path() / "common"; }

    /// "<folder>/Adobe/Color/AdobeCMMPrefs.txt".
    static std::filesystem::path PreferencesFile(const std::filesystem::path& folder);
    /// Creates "<folder>/Adobe/Color" and writes `text` as the file.
    static void WritePreferences(const std::filesystem::path& folder, const std::string& text);

  private:
    TemporaryFolder m_root;
};

/// The whole content of `file`, or "<missing>".
std::string FileText(const std::filesystem::path& file);
/// Writes `text` to `file`, replacing it.
void WriteFile(const std::filesystem::path& file, const std::string& text);
