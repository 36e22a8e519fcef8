#include "tools/IccFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/Errors.h"

namespace rdz::tools {

std::vector<unsigned char> ReadIccFile(const std::string& path) {
    constexpr std::uintmax_t kMaxSize = std::uintmax_t{256} << 20;
    constexpr std::size_t kHeaderSize = 128;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw InputError(path + ": is a folder, not an ICC file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw InputError(path + ": cannot open: " + std::strerror(errno));
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxSize) {
        throw InputError(path + ": cannot read the file (or it is larger than 256 MiB)");
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        throw InputError(path + ": cannot read the file");
    }
    if (bytes.size() < kHeaderSize) {
        throw InputError(path + ": too short for an ICC profile (" + std::to_string(bytes.size()) +
                         " bytes)");
    }
    return bytes;
}

std::string HeaderSignature(const std::vector<unsigned char>& bytes, std::size_t offset) {
    std::string text;
    for (std::size_t i = offset; i < offset + 4 && i < bytes.size(); ++i) {
        text += static_cast<char>(bytes[i]);
    }
    return text;
}

}  // namespace rdz::tools
