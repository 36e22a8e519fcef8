// Output files that appear whole or not at all.
#pragma once

#include <string>
#include <vector>

namespace rdz::formats {

/// A set of output files written together. Each file is first written to a
/// temporary file in its final folder; Commit renames them all. Whatever was
/// not committed is removed when the set goes, or when the program is
/// interrupted (SIGINT, SIGTERM, SIGHUP, SIGQUIT), so a failed run leaves no
/// output file behind (and never a half-written one). The first Add installs
/// the handlers of those signals (a signal that is ignored stays ignored).
class OutputFiles {
  public:
    OutputFiles() = default;
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    /// Reserves `finalPath`: creates an empty temporary file beside it (with
    /// the permissions a new file gets) and returns the temporary file's
    /// path. Throws WorkError when the folder cannot be written.
    std::string Add(const std::string& finalPath);
    /// Renames every temporary file to its final name, the last added first,
    /// so that the first file added (the main file) appears last. Throws
    /// WorkError when a rename fails; the files not yet renamed are removed.
    void Commit();

  private:
    struct Entry {
        std::string temporary;
        std::string final;
    };
    std::vector<Entry> entries_;
};

}  // namespace rdz::formats
