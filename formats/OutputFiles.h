// Output files that appear whole or not at all.
#pragma once

#include <string>

#include "platform/files/FileSet.h"

namespace rdz::formats {

/// The files of one output, written together (platform/files/FileSet.h): the
/// main file (added first) and its companions (a document's pixel files).
/// Each is first written to a temporary file in its final folder; Commit
/// flushes them to the disk and renames them into place, the main file
/// last. Whatever was not committed is removed when the object goes, or when
/// the program is interrupted (SIGINT, SIGTERM, SIGHUP, SIGQUIT); temporary
/// files that a killed run left in an output folder are removed by the next
/// run. A failed run therefore leaves the previous output as it was, and
/// never a half-written file.
class OutputFiles {
  public:
    OutputFiles() = default;
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    /// Reserves `finalPath`: creates an empty temporary file beside it and
    /// returns the temporary file's path. It gets the permissions of
    /// `permissionsLike` (by default `finalPath`) when that file exists, else
    /// those a new file gets. Throws WorkError when the folder cannot be
    /// written or the name is longer than a file name may be.
    std::string Add(const std::string& finalPath,
                    const std::string& permissionsLike = std::string());
    /// A file of the previous output to remove once the new one is in place.
    void RemoveAfterCommit(const std::string& path);
    /// Puts every file in place, the main file last. Throws WorkError when a
    /// file cannot be flushed or renamed; the previous output is then as it
    /// was and the temporary files are removed.
    void Commit();

  private:
    rdz::files::FileSet files_;
};

}  // namespace rdz::formats
