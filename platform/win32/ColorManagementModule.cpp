#include "platform/win32/ColorManagementModule.h"

#include <cwchar>
#include <string>

#include "host/win32_icm.h"
#include "host/win32_shell.h"
#include "platform/win32/StandInState.h"

namespace rdz_win32 {

namespace {

// The Adobe CMM's preferences file under `csidl`, or empty when the shell
// cannot give the folder.
std::wstring PreferencesFile(int csidl) {
    WCHAR folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::wstring();
    }
    return std::wstring(folder) + L"/Adobe/Color/AdobeCMMPrefs.txt";
}

bool Exists(const std::wstring& path) {
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool CurrentCMMUsesBlackPointCompensation() {
    if (State().selectedCMM != kAdobeCMM) {
        return false;
    }
    std::wstring file = PreferencesFile(CSIDL_APPDATA);
    if (!Exists(file)) {
        file = PreferencesFile(CSIDL_COMMON_APPDATA);
        if (!Exists(file)) {
            return true;
        }
    }
    WCHAR value[80] = {};
    GetPrivateProfileStringW(L"AdobeCMM", L"BlackPointCompensation", L"1", value, 80, file.c_str());
    return std::wcscmp(value, L"1") == 0;
}

}  // namespace rdz_win32

extern "C" BOOL WINAPI SelectCMM(DWORD dwCMMType) {
    rdz_win32::StandInState& state = rdz_win32::State();
    if (state.selectCMMFails ||
        (dwCMMType != rdz_win32::kWindowsCMM && dwCMMType != rdz_win32::kAdobeCMM)) {
        SetLastError(ERROR_INVALID_CMM);
        return FALSE;
    }
    state.selectedCMM = dwCMMType;
    return TRUE;
}
