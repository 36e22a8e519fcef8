// A TIFF file as a document of one image per page, and the document's images
// back as a TIFF file. See README.md beside this file for how a conversion
// streams from the input to the output.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/DocumentFormat.h"
#include "formats/tiff/TiffFile.h"
#include "host/kelt_db.h"

namespace rdz::formats {

class TiffOutput;

/// One page of the input: its layout and the image definition it became.
struct TiffPage {
    TiffLayout layout;
    ct_def_t* definition = nullptr;
    /// The streamed pixel image made for the page: while the definition
    /// still holds it, the page is unconverted.
    const cti_image_t* sourceImage = nullptr;
    /// Input sample s is document plane planeOf[s]: the ink planes, then the
    /// alpha plane; -1 for samples carried aside (alpha and mask samples
    /// after the first), which the writer copies from the input.
    std::vector<int> planeOf;
    /// The input samples carried aside, in sample order.
    std::vector<int> carried;
    /// Kind of the document's alpha plane (the page's first alpha sample).
    ExtraSample alphaKind = ExtraSample::UnassociatedAlpha;
    /// Name of the page in messages: the file's stem, with its page number
    /// when the file has several pages.
    std::string name;
};

/// What the readers of a document's pages and its output share: the first
/// failure to read the input.
struct TiffReadState {
    std::string error;
};

/// An 8-bit CMYK or multi-ink TIFF file read as a document (which becomes
/// TheDoc): one image definition per page, in page order, named after the
/// file (with the page number when there are several), placed once on a
/// layer "Image" of a component of the same name. Colour samples are the
/// process inks Cyan, Magenta, Yellow and Black of the book "Process" (for a
/// multi-ink page: the inks its InkNames tag names); extra samples named by
/// InkNames are spot inks found in the ink books by name; the first alpha
/// sample is the alpha plane; further alpha samples are carried to the
/// output unchanged. Refused (InputError naming the file and, for a file of
/// several pages, the page): a page that is not 8-bit CMYK or multi-ink; an
/// extra sample that is neither alpha nor a named ink; an ink name with a
/// control character or over 255 bytes; an ink named twice on a page.
///
/// The pixels are not read here: each definition reads its rows from the
/// file as they are asked for. A file whose embedded ICC profile differs
/// from ReadSettings::sourceProfile gets one WARNING.
class TiffDocument : public FormatDocument {
  public:
    TiffDocument(const std::string& path, const ReadSettings& settings);
    ~TiffDocument() override;

    /// Converted pages will be written to `temporary` as they are made (the
    /// definitions' target images send their rows there), with `settings`
    /// (Write uses these, not its own).
    void PrepareOutput(const std::string& output, const std::string& temporary,
                       OutputFiles& outputs, const WriteSettings& settings) override;
    /// Writes every page (the converted ones as converted, the others as
    /// read) to `temporary`, whole or not at all. Throws InputError when the
    /// input could not be read, WorkError when the output could not be
    /// written or a page's conversion stopped halfway.
    void Write(const std::string& output, const std::string& temporary, OutputFiles& outputs,
               const WriteSettings& settings) override;

    const std::vector<TiffPage>& Pages() const { return pages_; }

  private:
    std::string path_;
    std::vector<TiffPage> pages_;
    std::shared_ptr<TiffReadState> readState_;
    std::unique_ptr<TiffOutput> output_;
};

}  // namespace rdz::formats
