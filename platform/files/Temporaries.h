// Temporary files that the program owns: their names, their removal when the
// program is interrupted, and the removal of those that a killed program left.
//
// Every temporary file is named after the file it will become, its owner and
// a random part, in the final file's folder:
//
//   .<final name>.<pid>@<host>.<random>.rdz-tmp
//
// <pid> is the owning process, <host> eight hex digits of a hash of the
// host's name, <random> eight hex digits. The final name is shortened (a
// readable prefix and a hash, see ShortenFileName) when the whole would not
// fit 255 bytes. A name of this form with this host's tag and the pid of a
// process that no longer runs is a leftover of a killed program:
// RemoveStaleTemporaries removes those, and only those.
//
// Thread-safe throughout. RemoveRegisteredTemporaries is also safe to call
// from a signal handler.
#pragma once

#include <cstddef>
#include <string>

namespace rdz::files {

/// The suffix of every temporary file's name.
constexpr const char* kTemporarySuffix = ".rdz-tmp";

/// The longest file name (one path component) the helpers make, in bytes.
constexpr std::size_t kMaxFileNameBytes = 255;

/// `name` when it has at most `maxBytes` bytes; otherwise a readable prefix
/// of it (cut at a UTF-8 character boundary), "~", eight hex digits of a hash
/// of the whole name, and the extension of `name` (from its last '.', when
/// that is at most 16 bytes long), together exactly `maxBytes` bytes or
/// fewer. The same name always gives the same result, and two names that
/// differ give different results unless their hashes collide.
std::string ShortenFileName(const std::string& name, std::size_t maxBytes);

/// Eight hex digits of a 32-bit FNV-1a hash of `text`.
std::string ShortHash(const std::string& text);

/// What the name of a temporary file says about its owner.
struct TemporaryOwner {
    long pid = 0;
    std::string host;  // eight hex digits
};

/// Whether `fileName` (without folder) is the name of a temporary file made
/// by these helpers; fills `owner` when it is.
bool ParseTemporaryName(const std::string& fileName, TemporaryOwner* owner);

/// This host's tag in temporary names.
const std::string& HostTag();

/// A temporary file beside its final file, removed on signals and when the
/// object goes unless it was moved into place.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;

    /// Creates a new, empty temporary file for `finalPath` in its folder, with
    /// the permission bits `mode` (the umask does not apply; not on Windows,
    /// where the file takes its folder's access rights), open for
    /// writing. Installs the signal handlers (InstallSignalHandlers) first.
    /// False, with the reason in `error`, when the folder cannot be written;
    /// the object is then empty.
    bool Create(const std::string& finalPath, unsigned mode, std::string* error);

    bool Empty() const { return path_.empty(); }
    const std::string& Path() const { return path_; }
    const std::string& FinalPath() const { return final_; }
    /// The open descriptor (write only), or -1 after CloseDescriptor.
    int Descriptor() const { return fd_; }

    /// Writes all `size` bytes at the current position. False (reason in
    /// `error`) when a write fails.
    bool Write(const void* data, std::size_t size, std::string* error);
    /// Closes the descriptor; false (reason in `error`) when closing reports
    /// a failed write. The file stays.
    bool CloseDescriptor(std::string* error);
    /// Flushes the file's content to the disk (opening it again when the
    /// descriptor was closed, e.g. after another writer filled it by path).
    bool Sync(std::string* error);
    /// Renames the file onto its final path (replacing what is there); it is
    /// then no longer a temporary. Does not flush the folder (SyncFolder).
    bool MoveIntoPlace(std::string* error);
    /// Removes the file now.
    void Remove();

  private:
    void Release();

    std::string path_;
    std::string final_;
    int fd_ = -1;
    void* slot_ = nullptr;  // its entry among the registered temporaries
};

/// Flushes the entries of `folder` (renames, creations, removals) to the
/// disk. False (reason in `error`) when the folder cannot be opened or
/// flushed; file systems that do not flush folders count as success.
bool SyncFolder(const std::string& folder, std::string* error);

/// Installs handlers of SIGINT, SIGTERM, SIGHUP and SIGQUIT that remove
/// every registered temporary file and then do what the signal did before:
/// end the program (the default), or call the handler that was installed
/// before (so that a program's own handler keeps working, and must end or
/// stop the work itself). A signal that is ignored stays ignored and gets no
/// handler. Each call looks again: a handler that the program installed in
/// place of ours since is put behind ours. SIGXFSZ is ignored when it has
/// its default action, so that writing past the file-size limit fails with
/// EFBIG (reported by the writer) instead of killing the program with its
/// temporary files left behind. TemporaryFile::Create calls it.
///
/// On Windows, where these signals do not come from outside, it installs a
/// console control handler instead (once): Ctrl+C, Ctrl+Break, closing the
/// console, logoff and shutdown remove the registered temporaries, then the
/// handlers installed before it (in the end the system's) have the event.
void InstallSignalHandlers();

/// Removes every temporary file that is registered (created by a
/// TemporaryFile that still holds it). Async-signal-safe: for programs that
/// handle the signals themselves.
void RemoveRegisteredTemporaries() noexcept;

/// Removes the temporary files in `folder` (not below it) whose owner ran on
/// this host and no longer runs; returns how many it removed. Each folder is
/// looked at once per process (later calls return 0), so calling it before
/// every write costs nothing. Files of other hosts and of running processes
/// are left alone (a pid taken again by another process keeps its files
/// until that process ends).
int RemoveStaleTemporaries(const std::string& folder);

}  // namespace rdz::files
