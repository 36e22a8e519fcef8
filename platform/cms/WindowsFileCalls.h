// The POSIX file calls of the link store (open, fsync, flock, rename, unlink)
// over the Windows C runtime and API, for the Windows build of the
// CMS stand-in. File names are wide there, as std::filesystem gives them.
#pragma once

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/types.h>
#include <windows.h>

#include <cerrno>

// Every descriptor is binary (no line-end translation) and not inherited.
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
// A folder cannot be opened as a file here: syncing a folder does nothing.
#define O_DIRECTORY 0
#define LOCK_SH 1
#define LOCK_EX 2
#define LOCK_NB 4

inline int open(const wchar_t* path, int flags, int mode = 0) {
    return ::_wopen(path, flags, mode);
}

inline int unlink(const wchar_t* path) {
    return ::_wunlink(path);
}

/// Replaces `to` by `from` at once, as POSIX rename does.
inline int rename(const wchar_t* from, const wchar_t* to) {
    if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    errno = EACCES;
    return -1;
}

inline int fsync(int fd) {
    return ::_commit(fd);
}

/// A shared or exclusive lock on the whole file, waited for (or, with
/// LOCK_NB, refused with EWOULDBLOCK when another holds it); released when
/// the descriptor is closed.
inline int flock(int fd, int operation) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD flags = (operation & LOCK_EX) != 0 ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if ((operation & LOCK_NB) != 0)
        flags |= LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED whole{};
    if (handle == INVALID_HANDLE_VALUE || !LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &whole)) {
        errno = handle != INVALID_HANDLE_VALUE && GetLastError() == ERROR_LOCK_VIOLATION
                    ? EWOULDBLOCK
                    : EBADF;
        return -1;
    }
    return 0;
}

#endif  // _WIN32
