// Reading document files (format: docs/document-format.md).
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "formats/Errors.h"
#include "formats/json/DocumentContent.h"
#include "formats/json/DocumentFile.h"
#include "formats/json/DocumentStream.h"

namespace rdz::formats {

LoadedDocumentFile ReadDocumentFile(const std::string& path, const DocumentReadOptions& options) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw InputError(path + ": is a folder, not a document file");
    }
    std::ifstream in;
    // Large reads: the parser takes the file one byte at a time from here.
    std::vector<char> buffer(1 << 20);
    in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    in.open(path, std::ios::binary);
    if (!in) {
        throw InputError(path + ": cannot open: " + std::strerror(errno));
    }
    json::DocumentContent content(path, options);
    json::DocumentStream stream(content, json::TopLevelKeys(path));
    json::Json::sax_parse(in, &stream);
    if (in.bad()) {
        throw InputError(path + ": cannot read: " + std::strerror(errno));
    }
    return content.Take();
}

LoadedDocumentFile ReadDocumentFile(const std::string& path, Progress* progress) {
    DocumentReadOptions options;
    options.progress = progress;
    return ReadDocumentFile(path, options);
}

}  // namespace rdz::formats
