#include "formats/json/JsonFormat.h"

#include <sys/stat.h>

#include "formats/Errors.h"

#include "formats/FileNames.h"
#include "formats/json/DocumentFile.h"

namespace rdz::formats {
namespace {

class JsonDocument : public FormatDocument {
  public:
    JsonDocument(const std::string& path, const ReadSettings& settings) {
        DocumentReadOptions options;
        options.progress = settings.progress;
        options.allowOutsidePaths = settings.allowOutsidePaths;
        LoadedDocumentFile loaded = ReadDocumentFile(path, options);
        document_ = std::move(loaded.document);
        files_.push_back(path);
        files_.insert(files_.end(), loaded.pixelFiles.begin(), loaded.pixelFiles.end());
    }

    /// Before the conversion: a pixel file that could not be put in place
    /// (a folder of its name is in the way) fails the run now, not after
    /// the work.
    void PrepareOutput(const std::string& output, const std::string& temporary,
                       OutputFiles& outputs, const WriteSettings& settings) override {
        (void)temporary, (void)outputs, (void)settings;
        for (const std::string& file : PlannedPixelFiles(document_.get(), output, files_)) {
            struct stat info;
            if (::lstat(file.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                throw WorkError("cannot create '" + file +
                                "': a folder of that name is in the way of the pixel file");
            }
        }
    }

    void Write(const std::string& output, const std::string& temporary, OutputFiles& outputs,
               const WriteSettings& settings) override {
        WriteDocumentFile(document_.get(), output, temporary, outputs, files_, settings.progress);
    }
};

}  // namespace

bool JsonFormat::Recognises(const std::string& path, const std::string& head) const {
    // A document file is a JSON text; leading white space (and a UTF-8
    // byte-order mark) aside, it starts with '{' (or '[', which the reader
    // then refuses with the place named). Anything else is a document file
    // only by its name, so that a damaged one is reported as such.
    std::size_t i = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (i < head.size() &&
           (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) {
        ++i;
    }
    if (i < head.size() && (head[i] == '{' || head[i] == '[')) {
        return true;
    }
    return HasExtension(path, {".json"});
}

bool JsonFormat::NamesOutput(const std::string& path) const {
    return HasExtension(path, {".json"});
}

void JsonFormat::CheckOutputName(const std::string& path) const {
    CheckDocumentOutputName(path);
}

std::unique_ptr<FormatDocument> JsonFormat::Read(const std::string& path,
                                                 const ReadSettings& settings) const {
    return std::make_unique<JsonDocument>(path, settings);
}

}  // namespace rdz::formats
