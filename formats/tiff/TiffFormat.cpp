#include "formats/tiff/TiffFormat.h"

#include "formats/FileNames.h"
#include "formats/tiff/TiffDocument.h"

namespace rdz::formats {
namespace {

class TiffImageDocument : public FormatDocument {
  public:
    TiffImageDocument(const std::string& path, const ReadSettings& settings) {
        LoadedTiffDocument loaded = ReadTiffDocument(path, *settings.books, settings.progress);
        document_ = std::move(loaded.document);
        layout_ = loaded.layout;
        files_.push_back(path);
    }

    void Write(const std::string& output, const std::string& temporary, OutputFiles&,
               const WriteSettings& settings) override {
        WriteTiffDocument(document_.get(), layout_, temporary, output, settings.progress);
    }

  private:
    TiffLayout layout_;
};

}  // namespace

bool TiffFormat::Recognises(const std::string& path, const std::string& head) const {
    if (head.size() >= 4) {
        // Classic TIFF and BigTIFF, either byte order.
        return head.compare(0, 4, "II*\0", 4) == 0 || head.compare(0, 4, "MM\0*", 4) == 0 ||
               head.compare(0, 4, "II+\0", 4) == 0 || head.compare(0, 4, "MM\0+", 4) == 0;
    }
    return head.empty() && HasExtension(path, {".tif", ".tiff"});
}

bool TiffFormat::NamesOutput(const std::string& path) const {
    return HasExtension(path, {".tif", ".tiff"});
}

std::unique_ptr<FormatDocument> TiffFormat::Read(const std::string& path,
                                                 const ReadSettings& settings) const {
    return std::make_unique<TiffImageDocument>(path, settings);
}

}  // namespace rdz::formats
