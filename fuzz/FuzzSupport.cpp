#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace rdzfuzz {
namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz support: %s\n", what.c_str());
    std::abort();
}

}  // namespace

ScratchFolder::ScratchFolder(const char* prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + ".XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        Fail("cannot create a scratch folder " + pattern);
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (size > 0)
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.good())
        Fail("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("cannot read " + path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

void CopyFile(const std::string& from, const std::string& to) {
    const std::vector<std::uint8_t> bytes = ReadBytes(from);
    WriteBytes(to, bytes.data(), bytes.size());
}

void Remove(const std::string& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

}  // namespace rdzfuzz
