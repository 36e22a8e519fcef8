// Windows shell and kernel functions for special folders, files and
// private-profile (INI) files. On Windows the SDK's declarations are used;
// elsewhere platform/win32 implements them over ordinary folders.
#pragma once

#include "host/win32_types.h"

#ifdef _WIN32
#include <shlobj.h>
#else

// Special folders.
#define CSIDL_APPDATA 0x001A
#define CSIDL_COMMON_APPDATA 0x0023
#define SHGFP_TYPE_CURRENT 0

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

extern "C" {

/// Writes the folder `csidl` (at most MAX_PATH characters with the zero)
/// into pszPath. On failure pszPath is left as it was.
HRESULT WINAPI SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPWSTR pszPath);
/// Attributes of a file or folder; INVALID_FILE_ATTRIBUTES when it does not
/// exist.
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
/// Creates one folder; its parent must exist.
BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
/// Reads key lpKeyName of section lpAppName (both matched ignoring case).
/// Copies the value, or lpDefault when the file, section or key is missing,
/// into lpReturnedString (cut to nSize - 1 characters and zero-terminated)
/// and returns the number of characters copied.
DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
/// Sets key lpKeyName of section lpAppName to lpString, creating the file,
/// section or key as needed (null lpString deletes the key, null lpKeyName
/// the section). FALSE when the file cannot be written.
BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                       LPCWSTR lpFileName);

}  // extern "C"

#endif  // _WIN32
