#include "TestFolders.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "engine/TintCMMPreferences.h"
#include "host/win32_shell.h"
#include "platform/win32/Win32StandIn.h"

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rdz-engine-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

AppDataFolders::AppDataFolders() {
    std::filesystem::create_directory(User());
    std::filesystem::create_directory(Common());
    RdzWin32Reset();
    TintCMMPreferences::ReleaseInstance();
    RdzWin32SetFolderPath(CSIDL_APPDATA, User().wstring().c_str());
    RdzWin32SetFolderPath(CSIDL_COMMON_APPDATA, Common().wstring().c_str());
}

AppDataFolders::~AppDataFolders() {
    TintCMMPreferences::ReleaseInstance();
    RdzWin32Reset();
}

std::filesystem::path AppDataFolders::PreferencesFile(const std::filesystem::path& folder) {
    return folder / "Adobe" / "Color" / "AdobeCMMPrefs.txt";
}

void AppDataFolders::WritePreferences(const std::filesystem::path& folder,
                                      const std::string& text) {
    std::filesystem::create_directories(folder / "Adobe" / "Color");
    WriteFile(PreferencesFile(folder), text);
}

std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return "<missing>";
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}
