// The file helpers on Windows: file calls, console events, processes.
//
// Paths arrive as std::filesystem gives them narrow (path::string()) and go
// to the wide Win32 calls through std::filesystem again, so that the two
// conversions match. Where POSIX has no counterpart:
//   - a temporary file is created with CREATE_NEW and may be deleted while
//     open (FILE_SHARE_DELETE): a console event can remove it while another
//     thread still writes it;
//   - MoveFileEx (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) stands
//     for rename and returns once the new name is on the disk, and Windows
//     has no call that flushes a folder: SyncFolder only checks the folder;
//   - the interruptions are the console's events (Ctrl+C, Ctrl+Break, the
//     console closed, logoff, shutdown), not signals;
//   - a file keeps no mode bits (see FileSet.cpp): the mode is not applied.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "platform/files/Internal.h"
#include "platform/files/Temporaries.h"

namespace rdz::files {
namespace detail {

namespace fs = std::filesystem;

NativeString Native(const std::string& path) {
    NativeString wide;
    try {
        wide = fs::path(path).wstring();
    } catch (const std::exception&) {
        return wide;  // no such name here: every call with it fails
    }
    // Past MAX_PATH only the "\\?\" form reaches a file, and it takes an
    // absolute path with backslashes and nothing to resolve.
    if (wide.size() >= MAX_PATH - 12 && wide.compare(0, 4, L"\\\\?\\") != 0) {
        std::error_code ec;
        fs::path whole = fs::absolute(fs::path(wide), ec);
        if (!ec) {
            whole = whole.lexically_normal();
            whole.make_preferred();
            const std::wstring text = whole.wstring();
            if (text.size() > 2 && text[1] == L':') {
                wide = L"\\\\?\\" + text;
            } else if (text.compare(0, 2, L"\\\\") == 0) {
                wide = L"\\\\?\\UNC\\" + text.substr(2);
            }
        }
    }
    return wide;
}

std::string FolderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::string NameOf(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string InFolder(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

namespace {

/// The system's reason for `code`, in the C library's words where it has
/// them (so that messages read as on other systems).
std::string Reason(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
            return std::strerror(ENOENT);
        case ERROR_ACCESS_DENIED:
            return std::strerror(EACCES);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::strerror(ENOSPC);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return std::strerror(EEXIST);
        default:
            break;
    }
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "Windows error " + std::to_string(code) : reason;
}

}  // namespace

bool RemoveFile(const std::string& path, std::string* error) {
    if (DeleteFileW(Native(path).c_str())) {
        return true;
    }
    if (error != nullptr) {
        *error = Reason(GetLastError());
    }
    return false;
}

long ProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

}  // namespace detail

using namespace detail;

namespace {

std::string ErrnoReason(int error) {
    return std::strerror(error);
}

/// Whether the process `pid` still runs. One that cannot be asked (another
/// user's) counts as running.
bool ProcessRuns(long pid) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
    }
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

/// Removes the temporaries, then lets the next handler (in the end the
/// system's, which ends the program) have the event.
BOOL WINAPI RemoveTemporariesOnConsoleEvent(DWORD) {
    RemoveRegisteredTemporaries();
    return FALSE;
}

}  // namespace

const std::string& HostTag() {
    static const std::string tag = [] {
        char host[MAX_COMPUTERNAME_LENGTH + 1] = {0};
        DWORD size = sizeof host;
        if (!GetComputerNameA(host, &size)) {
            host[0] = '\0';
        }
        return ShortHash(host);
    }();
    return tag;
}

// ---------------------------------------------------------------------------
// TemporaryFile

bool TemporaryFile::Create(const std::string& finalPath, unsigned, std::string* error) {
    Remove();
    InstallSignalHandlers();
    const std::string folder = FolderOf(finalPath);
    const std::string owner = "." + std::to_string(ProcessId()) + "@" + HostTag();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string tail = owner + "." + Hex8(RandomWord()) + kTemporarySuffix;
        const std::string name =
            "." + ShortenFileName(NameOf(finalPath), kMaxFileNameBytes - 1 - tail.size()) + tail;
        const std::string path = InFolder(folder, name);
        const NativeString native = Native(path);
        // Registered before it exists, so that an interruption between the
        // two never leaves it behind.
        detail::Slot* slot = Register(native);
        const HANDLE handle =
            CreateFileW(native.c_str(), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            Forget(slot);
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
                continue;
            }
            *error = Reason(code);
            return false;
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (fd < 0) {
            CloseHandle(handle);
            DeleteFileW(native.c_str());
            Forget(slot);
            *error = "cannot open the temporary file";
            return false;
        }
        path_ = path;
        final_ = finalPath;
        fd_ = fd;
        slot_ = slot;
        return true;
    }
    *error = "cannot find a free name for a temporary file";
    return false;
}

bool TemporaryFile::Write(const void* data, std::size_t size, std::string* error) {
    if (fd_ < 0) {
        *error = "the file is not open";
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(size - done, 1u << 30));
        const int written = ::_write(fd_, bytes + done, chunk);
        if (written <= 0) {
            *error = written < 0 ? ErrnoReason(errno) : std::string("nothing written");
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool TemporaryFile::CloseDescriptor(std::string* error) {
    if (fd_ < 0) {
        return true;
    }
    const int result = ::_close(fd_);
    fd_ = -1;
    if (result != 0) {
        *error = ErrnoReason(errno);
        return false;
    }
    return true;
}

bool TemporaryFile::Sync(std::string* error) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    const bool own = fd_ < 0;
    if (own) {
        handle = CreateFileW(Native(path_).c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            *error = Reason(GetLastError());
            return false;
        }
    } else {
        handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    }
    const bool flushed = FlushFileBuffers(handle) != 0;
    const DWORD code = GetLastError();
    if (own) {
        CloseHandle(handle);
    }
    if (!flushed) {
        *error = "cannot flush to disk: " + Reason(code);
        return false;
    }
    return true;
}

bool TemporaryFile::MoveIntoPlace(std::string* error) {
    if (path_.empty()) {
        *error = "no temporary file";
        return false;
    }
    if (fd_ >= 0 && !CloseDescriptor(error)) {
        return false;
    }
    const NativeString from = Native(path_);
    const NativeString to = Native(final_);
    // A reader that has the old file open without sharing its deletion (an
    // indexer, a virus scanner) holds the name for a moment: waited for up
    // to about a second. Windows tells that apart from a folder or a
    // read-only file in the way only by looking at what is there.
    auto pause = std::chrono::milliseconds(10);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            break;
        }
        const DWORD code = GetLastError();
        bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        if (code == ERROR_ACCESS_DENIED) {
            const DWORD target = GetFileAttributesW(to.c_str());
            held = target != INVALID_FILE_ATTRIBUTES &&
                   (target & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
        }
        if (!held || attempt == 7) {
            *error = Reason(code);
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause *= 2;
    }
    Release();
    return true;
}

void TemporaryFile::Remove() {
    if (fd_ >= 0) {
        ::_close(fd_);
        fd_ = -1;
    }
    if (!path_.empty()) {
        DeleteFileW(Native(path_).c_str());
    }
    Release();
}

void TemporaryFile::Release() {
    Forget(static_cast<detail::Slot*>(slot_));
    slot_ = nullptr;
    path_.clear();
    if (fd_ >= 0) {
        ::_close(fd_);
        fd_ = -1;
    }
}

// ---------------------------------------------------------------------------

bool SyncFolder(const std::string& folder, std::string* error) {
    // Nothing to flush (see the top of this file); a folder that is not
    // there is still an error, as elsewhere.
    const DWORD attributes = GetFileAttributesW(Native(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = "cannot open the folder " + folder + ": " + Reason(GetLastError());
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        *error = "cannot open the folder " + folder + ": " + std::strerror(ENOTDIR);
        return false;
    }
    return true;
}

void InstallSignalHandlers() {
    // Handlers the program adds later run before this one; one of them that
    // reports the event handled keeps it from running (the program then
    // calls RemoveRegisteredTemporaries itself when it ends).
    static std::once_flag once;
    std::call_once(once, [] { SetConsoleCtrlHandler(&RemoveTemporariesOnConsoleEvent, TRUE); });
}

void RemoveRegisteredTemporaries() noexcept {
    detail::TakeRegistered([](const wchar_t* path) { DeleteFileW(path); });
}

int RemoveStaleTemporaries(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> seen;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!seen.insert(folder).second) {
            return 0;
        }
    }
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileW(Native(InFolder(folder, "*")).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    const long self = ProcessId();
    int removed = 0;
    do {
        if (entry.cFileName[0] != L'.' ||
            (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                0) {
            continue;
        }
        std::string name;
        try {
            name = fs::path(entry.cFileName).string();
        } catch (const std::exception&) {
            continue;  // not a name these helpers made
        }
        TemporaryOwner owner;
        if (!ParseTemporaryName(name, &owner) || owner.host != HostTag() || owner.pid == self ||
            ProcessRuns(owner.pid)) {
            continue;
        }
        if (RemoveFile(InFolder(folder, name))) {
            ++removed;
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return removed;
}

}  // namespace rdz::files
