// GetPrivateProfileStringW and WritePrivateProfileStringW over INI files.
#include <algorithm>
#include <string>
#include <vector>

#include "host/win32_shell.h"
#include "platform/win32/Guarded.h"
#include "platform/win32/IniFile.h"
#include "platform/win32/StandInState.h"
#include "platform/win32/WideText.h"

namespace {

bool NativeFileName(LPCWSTR name, std::string& native) {
    return name != nullptr && name[0] != L'\0' && rdz_win32::WideToUtf8(std::wstring(name), native);
}

// Copies `text` cut to size - 1 characters and a zero; the count copied.
DWORD CopyText(const std::wstring& text, LPWSTR buffer, DWORD size) {
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    text.copy(buffer, count);
    buffer[count] = L'\0';
    return static_cast<DWORD>(count);
}

// Copies `names`, each followed by a zero, and a final zero. When they do
// not fit, as many characters as fit are kept and size - 2 is returned.
DWORD CopyNames(const std::vector<std::wstring>& names, LPWSTR buffer, DWORD size) {
    std::wstring all;
    for (const std::wstring& name : names) {
        all += name;
        all.push_back(L'\0');
    }
    if (size < 2) {
        buffer[0] = L'\0';
        return 0;
    }
    if (all.size() + 1 > size) {
        all.resize(size - 2);
        all.push_back(L'\0');
        all.copy(buffer, all.size());
        buffer[size - 1] = L'\0';
        return size - 2;
    }
    all.copy(buffer, all.size());
    buffer[all.size()] = L'\0';
    return static_cast<DWORD>(all.empty() ? 0 : all.size());
}

DWORD ReadProfileString(LPCWSTR section, LPCWSTR key, LPCWSTR fallback, LPWSTR buffer, DWORD size,
                        LPCWSTR fileName) {
    std::wstring defaultText = fallback != nullptr ? fallback : L"";
    // Windows strips trailing blanks from the default.
    while (!defaultText.empty() && defaultText.back() == L' ') {
        defaultText.pop_back();
    }
    rdz_win32::IniFile file;
    bool exists = false;
    std::string native;
    if (!NativeFileName(fileName, native) || !file.Load(native, exists) || !exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return section != nullptr && key != nullptr ? CopyText(defaultText, buffer, size)
                                                    : CopyNames({}, buffer, size);
    }
    if (section == nullptr) {
        return CopyNames(file.Sections(), buffer, size);
    }
    if (key == nullptr) {
        return CopyNames(file.Keys(section), buffer, size);
    }
    std::wstring value;
    if (!file.Find(section, key, value)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return CopyText(defaultText, buffer, size);
    }
    SetLastError(ERROR_SUCCESS);
    return CopyText(value, buffer, size);
}

BOOL WriteProfileString(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName) {
    std::string native;
    if (section == nullptr || !NativeFileName(fileName, native)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    rdz_win32::IniFile file;
    bool exists = false;
    if (!file.Load(native, exists)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (key == nullptr) {
        file.RemoveSection(section);
    } else if (value == nullptr) {
        file.RemoveKey(section, key);
    } else {
        file.Set(section, key, value);
    }
    if (!file.Save(native)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

extern "C" DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                                 LPCWSTR lpDefault, LPWSTR lpReturnedString,
                                                 DWORD nSize, LPCWSTR lpFileName) {
    if (lpReturnedString == nullptr || nSize == 0) {
        return 0;
    }
    return rdz_win32::Guarded<DWORD>(0, [&] {
        lpReturnedString[0] = L'\0';
        return ReadProfileString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                                 lpFileName);
    });
}

extern "C" BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                                  LPCWSTR lpString, LPCWSTR lpFileName) {
    ++rdz_win32::State().profileWrites;
    return rdz_win32::Guarded<BOOL>(
        FALSE, [&] { return WriteProfileString(lpAppName, lpKeyName, lpString, lpFileName); });
}
