#include "engine/TintCMMPreferences.h"

#include <cwchar>

#include "engine/TintCMMPreferencesPath.h"
#include "host/win32_shell.h"

TintCMMPreferences* TintCMMPreferences::s_instance = nullptr;

namespace {

const wchar_t kSection[] = L"AdobeCMM";
const wchar_t kKey[] = L"BlackPointCompensation";

bool Exists(const TintCMMPath& path) {
    return GetFileAttributesW(path.data()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TintCMMPreferences* TintCMMPreferences::GetInstance() {
    if (s_instance == nullptr) {
        s_instance = new TintCMMPreferences(ReadBlackPointCompensation());
    }
    return s_instance;
}

void TintCMMPreferences::ReleaseInstance() {
    TintCMMPreferences* instance = s_instance;
    s_instance = nullptr;
    delete instance;
}

void TintCMMPreferences::SetBlackPointCompensation(bool value) {
    if (value != m_blackPointCompensation) {
        WriteBlackPointCompensation(value);
        m_blackPointCompensation = value;
    }
}

bool TintCMMPreferences::ReadBlackPointCompensation() {
    TintCMMPath path;
    if (!TintCMMPreferencesPath(CSIDL_APPDATA, true, path) || !Exists(path)) {
        if (!TintCMMPreferencesPath(CSIDL_COMMON_APPDATA, true, path) || !Exists(path)) {
            return true;
        }
    }
    wchar_t value[80] = {};
    GetPrivateProfileStringW(kSection, kKey, L"1", value, 80, path.data());
    return std::wcscmp(value, L"1") == 0;
}

void TintCMMPreferences::WriteBlackPointCompensation(bool value) {
    TintCMMPath folder;
    TintCMMPath file;
    if (!TintCMMPreferencesPath(CSIDL_APPDATA, false, folder) ||
        !TintCMMPreferencesPath(CSIDL_APPDATA, true, file)) {
        return;
    }
    if (!Exists(folder)) {
        CreateDirectoryW(folder.data(), nullptr);
    }
    WritePrivateProfileStringW(kSection, kKey, value ? L"1" : L"0", file.data());
}
