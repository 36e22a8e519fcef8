#include "platform/files/FileSet.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/files/Internal.h"

namespace rdz::files {

using detail::FolderOf;
using detail::RemoveFile;

namespace {

#ifdef _WIN32

// Windows keeps no owner and mode bits to carry over: a new file takes the
// access rights its folder passes on, and the one bit Windows has (read only)
// stays with the old file (MoveFileEx does not replace a read-only file).
void KeepOwnership(int, const std::string&) {}

#else

mode_t CurrentUmask() {
    // umask can only be read by setting it; the lock keeps two threads from
    // seeing each other's zero.
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

/// Gives the file at `fd` the owner and group of the regular file at `like`
/// where the system allows it (the owner only to root); anything refused
/// stays as it is.
void KeepOwnership(int fd, const std::string& like) {
    struct stat info;
    if (::stat(like.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    const uid_t owner = ::geteuid() == 0 ? info.st_uid : static_cast<uid_t>(-1);
    if (::fchown(fd, owner, info.st_gid) != 0 && owner != static_cast<uid_t>(-1)) {
        (void)!::fchown(fd, static_cast<uid_t>(-1), info.st_gid);
    }
}

#endif  // _WIN32

}  // namespace

#ifdef _WIN32

unsigned PermissionsFor(const std::string& like) {
    struct _stat64 info;
    if (!like.empty() && ::_wstat64(detail::Native(like).c_str(), &info) == 0 &&
        (info.st_mode & _S_IFMT) == _S_IFREG) {
        return static_cast<unsigned>(info.st_mode & 0777);
    }
    return 0666;
}

#else

unsigned PermissionsFor(const std::string& like) {
    struct stat info;
    if (!like.empty() && ::stat(like.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        // Set-id bits are not carried over to a file of new content.
        return static_cast<unsigned>(info.st_mode & 01777);
    }
    return static_cast<unsigned>(0666 & ~CurrentUmask());
}

#endif  // _WIN32

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         std::string* error) {
    RemoveStaleTemporaries(FolderOf(path));
    TemporaryFile file;
    if (!file.Create(path, PermissionsFor(path), error)) {
        *error = "cannot create a temporary file: " + *error;
        return false;
    }
    KeepOwnership(file.Descriptor(), path);
    std::string reason;
    if (!file.Write(data, size, &reason) || !file.Sync(&reason) || !file.CloseDescriptor(&reason)) {
        *error = "cannot write: " + reason;
        return false;  // the temporary file goes with `file`
    }
    if (!file.MoveIntoPlace(&reason)) {
        *error = "cannot rename into place: " + reason;
        return false;
    }
    if (!SyncFolder(FolderOf(path), &reason)) {
        *error = reason;
        return false;
    }
    return true;
}

FileSet::~FileSet() = default;  // each TemporaryFile removes itself

bool FileSet::Add(const std::string& finalPath, std::string* temporary, FileError* error,
                  const std::string& permissionsLike) {
    RemoveStaleTemporaries(FolderOf(finalPath));
    const std::string like = permissionsLike.empty() ? finalPath : permissionsLike;
    TemporaryFile file;
    std::string reason;
    if (!file.Create(finalPath, PermissionsFor(like), &reason)) {
        *error = FileError{finalPath, reason};
        return false;
    }
    KeepOwnership(file.Descriptor(), like);
    // The caller writes the file by its path.
    file.CloseDescriptor(&reason);
    *temporary = file.Path();
    files_.push_back(std::move(file));
    return true;
}

void FileSet::RemoveAfterCommit(const std::string& path) {
    removeAfter_.push_back(path);
}

std::vector<std::string> FileSet::FinalPaths() const {
    std::vector<std::string> paths;
    for (const TemporaryFile& file : files_) {
        paths.push_back(file.FinalPath());
    }
    return paths;
}

bool FileSet::Commit(FileError* error) {
    std::string reason;
    for (TemporaryFile& file : files_) {
        if (!file.Sync(&reason)) {
            *error = FileError{file.FinalPath(), reason};
            files_.clear();  // removes every temporary file
            return false;
        }
    }
    // Companions first; the main file last, so that it never names a file
    // that is not there yet.
    std::vector<std::string> placed;
    std::vector<std::string> folders;
    const auto undo = [this, &placed]() {
        for (const std::string& path : placed) {
            RemoveFile(path);
        }
        files_.clear();  // removes every temporary file not yet renamed
    };
    for (std::size_t i = 1; i < files_.size(); ++i) {
        const std::string final = files_[i].FinalPath();
        if (!files_[i].MoveIntoPlace(&reason)) {
            undo();
            *error = FileError{final, reason};
            return false;
        }
        placed.push_back(final);
        if (std::find(folders.begin(), folders.end(), FolderOf(final)) == folders.end()) {
            folders.push_back(FolderOf(final));
        }
    }
    for (const std::string& folder : folders) {
        if (!SyncFolder(folder, &reason)) {
            undo();
            *error = FileError{folder, reason};
            return false;
        }
    }
    std::string mainFile;
    if (!files_.empty()) {
        mainFile = files_[0].FinalPath();
        if (!files_[0].MoveIntoPlace(&reason)) {
            undo();
            *error = FileError{mainFile, reason};
            return false;
        }
        if (!SyncFolder(FolderOf(mainFile), &reason)) {
            // In place but perhaps not yet on the disk: the set is whole
            // either way, so this is reported and nothing is undone.
            files_.clear();
            *error = FileError{mainFile, reason};
            return false;
        }
    }
    files_.clear();
    std::vector<std::string> touched;
    for (const std::string& path : removeAfter_) {
        if (path == mainFile || std::find(placed.begin(), placed.end(), path) != placed.end()) {
            continue;
        }
        if (RemoveFile(path) &&
            std::find(touched.begin(), touched.end(), FolderOf(path)) == touched.end()) {
            touched.push_back(FolderOf(path));
        }
    }
    removeAfter_.clear();
    for (const std::string& folder : touched) {
        SyncFolder(folder, &reason);
    }
    return true;
}

}  // namespace rdz::files
