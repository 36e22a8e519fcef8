// Running the program as a separate process, scratch folders, and the CMS
// database the reliability tests convert with.
#pragma once

#include <string>
#include <vector>

namespace rdz::reliability {

/// One run of the program.
struct CliRun {
    int status = -1;  // exit status, or 128 + the signal that ended it
    std::string err;  // standard error
};

/// Starts the program with `args`; Wait() collects it. Standard output is
/// discarded, standard error is kept.
class Process {
  public:
    explicit Process(const std::vector<std::string>& args);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    CliRun Wait();

  private:
    int pid_ = -1;
    std::string errFile_;
};

/// Runs the program to its end.
CliRun RunCli(const std::vector<std::string>& args);

/// A fresh folder, removed with everything in it when the object goes.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    const std::string& Folder() const { return folder_; }

  private:
    std::string folder_;
};

/// Names of the files under `folder`, recursively, relative to it, sorted
/// (hidden files included).
std::vector<std::string> FilesUnder(const std::string& folder);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void CopyFile(const std::string& from, const std::string& to);
bool Exists(const std::string& path);

/// Makes a CMS database in `folder`: the example ink books and strategies,
/// with Debian's CMYK profiles as its processes.
void MakeDatabase(const std::string& folder);
/// Copies the sample document (JSON and TIFF files) into `folder`; returns
/// the path of its JSON file.
std::string CopySample(const std::string& folder);

}  // namespace rdz::reliability
