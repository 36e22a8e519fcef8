#include "tests/reliability/ReliabilitySupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace rdz::reliability {

Process::Process(const std::vector<std::string>& args) {
    char pattern[] = "/tmp/rdz-reliability-err.XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0)
        throw std::runtime_error("cannot make a file for standard error");
    close(fd);
    errFile_ = pattern;

    std::vector<std::string> argv = {RDZ_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& arg : argv)
        raw.push_back(arg.data());
    raw.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_TRUNC, 0);
    const int failed = posix_spawn(&pid_, RDZ_CLI, &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw std::runtime_error("cannot start " + std::string(RDZ_CLI));
}

Process::~Process() {
    if (pid_ > 0)
        Wait();
    if (!errFile_.empty())
        unlink(errFile_.c_str());
}

CliRun Process::Wait() {
    CliRun run;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
    }
    pid_ = -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = ReadFile(errFile_);
    return run;
}

CliRun RunCli(const std::vector<std::string>& args) {
    return Process(args).Wait();
}

Scratch::Scratch() {
    char pattern[] = "/tmp/rdz-reliability.XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("cannot make a scratch folder");
    folder_ = pattern;
}

Scratch::~Scratch() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::vector<std::string> FilesUnder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory())
            names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.good())
        throw std::runtime_error("cannot write " + path);
}

void CopyFile(const std::string& from, const std::string& to) {
    WriteFile(to, ReadFile(from));
}

bool Exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

void MakeDatabase(const std::string& folder) {
    fs::copy(std::string(RDZ_EXAMPLES_DIR) + "/cmsdb", folder, fs::copy_options::recursive);
    const std::string gs = RDZ_GS_ICC_DIR;
    const std::string processes = folder + "/processes/";
    CopyFile(gs + "/default_cmyk.icc", processes + "default_cmyk.icc");
    CopyFile(gs + "/ps_cmyk.icc", processes + "ps_cmyk.icc");
    CopyFile(gs + "/default_cmyk.icc", processes + "ISOCoated_v2_eci.icc");
    CopyFile(gs + "/ps_cmyk.icc", processes + "HexaPress");
}

std::string CopySample(const std::string& folder) {
    const std::string sample = std::string(RDZ_EXAMPLES_DIR) + "/sample/";
    for (const char* name : {"sample.json", "sample.logo.tif", "sample.photo.tif"})
        CopyFile(sample + name, folder + "/" + name);
    return folder + "/sample.json";
}

}  // namespace rdz::reliability
