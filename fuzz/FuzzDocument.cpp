// Document files of the program: the input is the JSON file, read in a
// folder that also holds the sample document's two TIFF files, so that
// documents naming them load their pixels too. The reader refuses bad input
// with InputError only; any other exception escaping is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "formats/json/DocumentFile.h"
#include "formats/Errors.h"

namespace {

class Folder {
  public:
    Folder() : folder_("rdz-fuzz-document") {
        const char* source = std::getenv("RDZ_SOURCE_DIR");
        const std::string root = source ? source : RDZ_FUZZ_SOURCE_DIR;
        for (const char* image : {"sample.logo.tif", "sample.photo.tif"})
            rdzfuzz::CopyFile(root + "/examples/sample/" + image, folder_ / image);
    }
    std::string Document() const { return folder_ / "sample.json"; }

  private:
    rdzfuzz::ScratchFolder folder_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folder folder;
    rdzfuzz::WriteBytes(folder.Document(), data, size);
    try {
        rdz::formats::LoadedDocumentFile loaded =
            rdz::formats::ReadDocumentFile(folder.Document(), nullptr);
    } catch (const rdz::formats::InputError&) {
    }
    return 0;
}
