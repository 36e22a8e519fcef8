#include "engine/TintCMMPreferencesPath.h"

#include "host/win32_shell.h"

bool TintAppendToCMMPath(TintCMMPath& path, const wchar_t* tail) {
    std::size_t length = 0;
    while (length < path.size() && path[length] != L'\0') {
        ++length;
    }
    std::size_t tailLength = 0;
    while (tail[tailLength] != L'\0') {
        ++tailLength;
    }
    if (length + tailLength + 1 > path.size()) {
        return false;
    }
    for (std::size_t i = 0; i <= tailLength; ++i) {
        path[length + i] = tail[i];
    }
    return true;
}

bool TintCMMPreferencesPath(int csidl, bool withFileName, TintCMMPath& path) {
    path.fill(L'\0');
    // The shell writes at most MAX_PATH characters and nothing on failure:
    // the buffer is only read after a success, and it starts zeroed.
    static_assert(kTintCMMPathCapacity >= MAX_PATH, "the shell's folder must fit");
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path.data())) ||
        !TintAppendToCMMPath(path, L"/Adobe/Color") ||
        (withFileName && !TintAppendToCMMPath(path, L"/AdobeCMMPrefs.txt"))) {
        path.fill(L'\0');
        return false;
    }
    return true;
}
