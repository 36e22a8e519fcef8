// Special folders, file attributes and folder creation over the local file
// system.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

#include "host/win32_shell.h"
#include "platform/win32/Guarded.h"
#include "platform/win32/StandInState.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32StandIn.h"

namespace {

// A folder a test has pointed elsewhere; `available` false makes the shell
// fail for it.
struct FolderOverride {
    bool available;
    std::wstring path;
};

std::map<int, FolderOverride>& Overrides() {
    static auto* overrides = new std::map<int, FolderOverride>();  // usable until the very end
    return *overrides;
}

// Where the folders lie by default: the user's configuration folder and the
// system-wide one of the XDG conventions.
bool DefaultFolder(int csidl, std::wstring& folder) {
    std::string utf8;
    if (csidl == CSIDL_APPDATA) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (config != nullptr && config[0] == '/') {
            utf8 = config;
        } else if (home != nullptr && home[0] != '\0') {
            utf8 = std::string(home) + "/.config";
        } else {
            return false;
        }
    } else {
        utf8 = "/etc/xdg";
    }
    return rdz_win32::Utf8ToWide(utf8, folder);
}

bool FolderOf(int csidl, std::wstring& folder) {
    const auto found = Overrides().find(csidl);
    if (found != Overrides().end()) {
        folder = found->second.path;
        return found->second.available;
    }
    return DefaultFolder(csidl, folder);
}

bool NativePath(LPCWSTR path, std::string& native) {
    if (path == nullptr || path[0] == L'\0' || !rdz_win32::WideToUtf8(std::wstring(path), native)) {
        SetLastError(path == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

DWORD ErrorOf(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENAMETOOLONG:
            return ERROR_INVALID_NAME;
        default:
            return ERROR_WRITE_FAULT;
    }
}

}  // namespace

namespace rdz_win32 {

void ResetFolderPaths() {
    Overrides().clear();
}

}  // namespace rdz_win32

void RdzWin32SetFolderPath(int csidl, const wchar_t* path) {
    Overrides()[csidl] = path != nullptr ? FolderOverride{true, path} : FolderOverride{false, {}};
}

extern "C" HRESULT WINAPI SHGetFolderPathW(HWND /*hwnd*/, int csidl, HANDLE /*hToken*/,
                                           DWORD /*dwFlags*/, LPWSTR pszPath) {
    if (pszPath == nullptr || (csidl != CSIDL_APPDATA && csidl != CSIDL_COMMON_APPDATA)) {
        return E_INVALIDARG;
    }
    return rdz_win32::Guarded<HRESULT>(E_FAIL, [&] {
        std::wstring folder;
        if (!FolderOf(csidl, folder) || folder.size() + 1 > MAX_PATH) {
            return E_FAIL;
        }
        std::wmemcpy(pszPath, folder.c_str(), folder.size() + 1);
        return S_OK;
    });
}

extern "C" DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    return rdz_win32::Guarded<DWORD>(INVALID_FILE_ATTRIBUTES, [&]() -> DWORD {
        std::string native;
        struct stat status {};
        if (!NativePath(lpFileName, native)) {
            return INVALID_FILE_ATTRIBUTES;
        }
        if (stat(native.c_str(), &status) != 0) {
            SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorOf(errno));
            return INVALID_FILE_ATTRIBUTES;
        }
        if (S_ISDIR(status.st_mode)) {
            return FILE_ATTRIBUTE_DIRECTORY;
        }
        return access(native.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    });
}

extern "C" BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName,
                                        LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    return rdz_win32::Guarded<BOOL>(FALSE, [&] {
        std::string native;
        if (!NativePath(lpPathName, native)) {
            return FALSE;
        }
        if (mkdir(native.c_str(), 0777) != 0) {
            SetLastError(ErrorOf(errno));
            return FALSE;
        }
        return TRUE;
    });
}
