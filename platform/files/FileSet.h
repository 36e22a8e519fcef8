// Files replaced whole or not at all: one file (WriteFileAtomically), or a
// set of files that belong together (FileSet), such as a document and the
// pixel files it names.
//
// How a set is put in place: every file is written to a temporary file in
// its final folder (Temporaries.h: removed on SIGINT, SIGTERM, SIGHUP and
// SIGQUIT, and by the next run when the program was killed); Commit flushes
// each to the disk, renames the companion files into place, flushes their
// folders, then renames the main file (the first added) and flushes its
// folder, and only then removes the files of the previous set that the new
// one no longer uses. A reader therefore sees the old main file with its old
// companions, or the new main file with its new companions, never a mix, as
// long as the new companions have names that the old main file does not use
// (the caller chooses the names). A failure at any point before the main
// file is renamed leaves the previous set as it was: the companions already
// renamed are removed again, and every temporary file is removed.
//
// A file that replaces another keeps that file's permission bits (and, where
// the system allows, its group); a new file gets 0666 less the umask. On
// Windows a file takes the access rights of its folder.
//
// This library is shared by the program's file formats, the CMS library's
// link store and the preference files; it depends on the C++ library and the
// system's file calls only (POSIX, or Win32 in the Windows build: see
// Windows.cpp for what differs there).
#pragma once

#include <string>
#include <vector>

#include "platform/files/Temporaries.h"

namespace rdz::files {

/// Why an operation failed: the file concerned (its final path) and the
/// system's reason.
struct FileError {
    std::string path;
    std::string reason;
};

/// The permission bits a file written as `path` gets: those of the file at
/// `like` when that is a regular file, else 0666 less the umask.
unsigned PermissionsFor(const std::string& like);

/// Replaces (or creates) `path` with `size` bytes at `data`, whole or not at
/// all, flushed to the disk with its folder. Removes stale temporaries of
/// dead processes in the folder first. False, with the reason in `error`,
/// when the file could not be written; `path` is then as it was.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         std::string* error);

/// A set of files written together and put in place at once.
class FileSet {
  public:
    FileSet() = default;
    /// Removes every temporary file not committed.
    ~FileSet();
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;

    /// Reserves `finalPath`: creates an empty temporary file beside it and
    /// returns its path (the caller writes it by that path and closes it).
    /// The first file added is the main file. Its permissions are those of
    /// `permissionsLike` (by default `finalPath` itself), see PermissionsFor.
    /// The first reservation in a folder removes stale temporaries of dead
    /// processes there. False, with `error` filled, when the folder cannot
    /// be written.
    bool Add(const std::string& finalPath, std::string* temporary, FileError* error,
             const std::string& permissionsLike = std::string());

    /// A file to remove once the set is in place (a companion of the
    /// previous set that the new main file no longer names). Ignored when it
    /// is a file of this set.
    void RemoveAfterCommit(const std::string& path);

    /// Puts the set in place as described at the top of this file. False,
    /// with `error` filled, when a file could not be flushed or renamed; the
    /// previous set is then as it was, every temporary file is removed and
    /// the set is spent. Files that cannot be removed after the set is in
    /// place are left (the set itself is whole).
    bool Commit(FileError* error);

    /// The final paths reserved, the main file first.
    std::vector<std::string> FinalPaths() const;

  private:
    std::vector<TemporaryFile> files_;
    std::vector<std::string> removeAfter_;
};

}  // namespace rdz::files
