#include "TestFolders.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "SystemControls.h"
#include "engine/TintCMMPreferences.h"
#include "host/win32_shell.h"

TemporaryFolder::TemporaryFolder() {
#ifdef _WIN32
    // A new folder under a random name; creating it is the test that the
    // name was free.
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / ("rdz-engine-" + std::to_string(seed()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            m_path = candidate;
        }
    }
    if (m_path.empty()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "rdz-engine-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
#endif
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

AppDataFolders::AppDataFolders() {
    std::filesystem::create_directory(User());
    std::filesystem::create_directory(Common());
    SystemReset();
    TintCMMPreferences::ReleaseInstance();
    SystemSetFolderPath(CSIDL_APPDATA, User().wstring().c_str());
    SystemSetFolderPath(CSIDL_COMMON_APPDATA, Common().wstring().c_str());
}

AppDataFolders::~AppDataFolders() {
    TintCMMPreferences::ReleaseInstance();
    SystemReset();
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
