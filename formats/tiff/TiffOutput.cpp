#include "formats/tiff/TiffOutput.h"

#include <tiffio.h>

#include <algorithm>
#include <filesystem>

#include "formats/Errors.h"
#include "formats/Progress.h"

namespace rdz::formats {
namespace {

// Levels that keep writing fast (bench/tiff, 6000 x 6000 CMYK, three kinds
// of content): Deflate level 1 takes a half to a thirteenth of the time of
// level 6 for files 4 to 12% larger (levels 2 to 5 are slower and no
// smaller); ZSTD level 3 two fifths to a quarter of the time of libtiff's
// default level 9 for files 2 to 7% larger. WriteSettings'
// compressionLevel overrides them, for smaller files at more time.
constexpr int kDeflateLevel = 1;
constexpr int kZstdLevel = 3;
constexpr int kLzmaPreset = 1;

const char* const kProcessNames[4] = {"Cyan", "Magenta", "Yellow", "Black"};

bool EqualsIgnoringCaseAscii(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

/// Compression, level (`level` 0: our fast default) and predictor of a
/// written page.
void ChooseCompression(const TiffLayout& input, const std::string& choice, int level,
                       TiffLayout* out) {
    std::uint16_t compression = input.compression;
    std::uint16_t predictor = input.predictor;
    if (choice.empty()) {
        if (!WritableCompression(compression)) {
            compression = COMPRESSION_LZW;  // JPEG and other codecs the writer does not offer
        }
    } else {
        if (choice == "none") {
            compression = COMPRESSION_NONE;
        } else if (choice == "lzw") {
            compression = COMPRESSION_LZW;
        } else if (choice == "deflate") {
            compression = input.compression == COMPRESSION_DEFLATE ? COMPRESSION_DEFLATE
                                                                   : COMPRESSION_ADOBE_DEFLATE;
        } else if (choice == "zstd") {
            compression = COMPRESSION_ZSTD;
        } else {
            throw WorkError("unknown compression '" + choice +
                            "' (none, lzw, deflate or zstd are written)");
        }
        if (!WritableCompression(compression)) {
            throw WorkError("this build of libtiff cannot write " + choice + " compression");
        }
        // Continuous-tone samples compress better after the horizontal
        // predictor, which costs little time.
        predictor = compression == COMPRESSION_NONE ? PREDICTOR_NONE : PREDICTOR_HORIZONTAL;
    }
    out->compression = compression;
    out->predictor = predictor;
    switch (compression) {
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            out->compressionLevel = level > 0 ? level : kDeflateLevel;
            break;
        case COMPRESSION_ZSTD:
            out->compressionLevel = level > 0 ? level : kZstdLevel;
            break;
        case COMPRESSION_LZMA:
            out->compressionLevel = level > 0 ? level : kLzmaPreset;
            break;
        default:
            out->compressionLevel = 0;
    }
}

/// The layout of a page copied as it was read.
TiffLayout CopyLayout(const TiffPage& page, const WriteSettings& settings) {
    TiffLayout layout = page.layout;
    ChooseCompression(page.layout, settings.compression, settings.compressionLevel, &layout);
    layout.tags.insert(layout.tags.end(), page.layout.untrueTags.begin(),
                       page.layout.untrueTags.end());
    return layout;
}

}  // namespace

TiffLayout OutputLayout(const TiffPage& page, const std::vector<inkt_t*>& inks, bool alpha,
                        bool converted, const WriteSettings& settings) {
    const TiffLayout& input = page.layout;
    TiffLayout layout;
    layout.width = input.width;
    layout.height = input.height;
    const int nrInks = static_cast<int>(inks.size());
    layout.samplesPerPixel = nrInks + (alpha ? 1 : 0) + static_cast<int>(page.carried.size());
    layout.photometric = PHOTOMETRIC_SEPARATED;

    std::vector<std::string> names;
    for (inkt_t* ink : inks) {
        const char* book = "";
        const char* name = "";
        if (ink != nullptr) {
            INK_get_group_and_name(ink, &book, &name);
        }
        names.emplace_back(name);
    }
    bool cmyk = nrInks >= 4;
    for (int i = 0; cmyk && i < 4; ++i) {
        cmyk = EqualsIgnoringCaseAscii(names[static_cast<std::size_t>(i)], kProcessNames[i]);
    }
    if (cmyk) {
        layout.inkSet = INKSET_CMYK;
        layout.extraSamples.assign(static_cast<std::size_t>(nrInks - 4), ExtraSample::Unspecified);
        if (nrInks > 4) {
            layout.inkNames = names;
        }
    } else {
        layout.inkSet = INKSET_MULTIINK;
        layout.inkNames = names;
    }
    if (alpha) {
        layout.extraSamples.push_back(page.alphaKind);
    }
    const int colour = input.ColorSamples();
    for (int sample : page.carried) {
        layout.extraSamples.push_back(
            input.extraSamples[static_cast<std::size_t>(sample - colour)]);
    }

    ChooseCompression(input, settings.compression, settings.compressionLevel, &layout);
    layout.hasResolution = input.hasResolution;
    layout.xResolution = input.xResolution;
    layout.yResolution = input.yResolution;
    layout.resolutionUnit = input.resolutionUnit;
    layout.tags = input.tags;
    layout.exifTags = input.exifTags;
    layout.iccProfile =
        !converted || !settings.profile.changed ? input.iccProfile : settings.profile.icc;
    if (!converted) {
        layout.tags.insert(layout.tags.end(), input.untrueTags.begin(), input.untrueTags.end());
    }
    return layout;
}

// ---------------------------------------------------------------------------

/// Sends the converted rows of one page to the file, with the samples
/// carried aside read again from the input.
class TiffOutput::PageSink : public rdz::kelt::RowSink {
  public:
    /// A sink that is not `live` takes rows and drops them (the output is
    /// spoilt already).
    PageSink(TiffOutput& output, std::size_t page, int planes, bool live)
        : output_(output), page_(page), planes_(planes), live_(live) {
        const TiffPage& info = output_.pages_[page_];
        if (live_ && !info.carried.empty()) {
            std::vector<int> planeOf(static_cast<std::size_t>(info.layout.samplesPerPixel), -1);
            for (std::size_t i = 0; i < info.carried.size(); ++i) {
                planeOf[static_cast<std::size_t>(info.carried[i])] = static_cast<int>(i);
            }
            carried_ = std::make_unique<TiffRowReader>(output_.input_, info.layout, planeOf,
                                                       static_cast<int>(info.carried.size()));
            carriedRow_.resize(info.carried.size() * static_cast<std::size_t>(info.layout.width));
        }
    }

    ~PageSink() override {
        if (live_ && !finished_) {
            output_.Fail("the conversion of " + output_.pages_[page_].name +
                         " stopped before its last row");
        }
    }

    bool WriteRow(int row, const unsigned char* planes) override {
        if (!live_) {
            return true;
        }
        const TiffPage& info = output_.pages_[page_];
        const std::size_t width = static_cast<std::size_t>(info.layout.width);
        samples_.clear();
        for (int p = 0; p < planes_; ++p) {
            samples_.push_back(planes + static_cast<std::size_t>(p) * width);
        }
        std::string error;
        if (carried_) {
            if (!carried_->ReadRow(row, carriedRow_.data(), &error)) {
                if (output_.readState_->error.empty()) {
                    output_.readState_->error = error;
                }
                return false;
            }
            for (std::size_t i = 0; i < info.carried.size(); ++i) {
                samples_.push_back(carriedRow_.data() + i * width);
            }
        }
        if (!output_.writer_.WriteRow(samples_.data(), &error)) {
            output_.Fail(error);
            return false;
        }
        return true;
    }

    void Finish(ct_def_t*) override {
        finished_ = true;
        carried_.reset();
        if (!live_) {
            return;
        }
        std::string error;
        if (!output_.writer_.FinishPage(&error)) {
            output_.Fail(error);
            return;
        }
        output_.nextPage_ = page_ + 1;
    }

  private:
    TiffOutput& output_;
    std::size_t page_;
    int planes_;
    bool live_;
    bool finished_ = false;
    std::unique_ptr<TiffRowReader> carried_;
    std::vector<std::uint8_t> carriedRow_;
    std::vector<const std::uint8_t*> samples_;
};

TiffOutput::TiffOutput(std::string input, const std::vector<TiffPage>& pages,
                       std::shared_ptr<TiffReadState> readState, std::string temporary,
                       std::string finalPath, WriteSettings settings)
    : input_(std::move(input)),
      pages_(pages),
      readState_(std::move(readState)),
      temporary_(std::move(temporary)),
      final_(std::move(finalPath)),
      settings_(std::move(settings)) {}

TiffOutput::~TiffOutput() = default;

void TiffOutput::Fail(const std::string& why) {
    if (failure_.empty()) {
        failure_ = why.empty() ? std::string("unknown failure") : why;
    }
}

bool TiffOutput::Begin(int planes) {
    if (!failure_.empty()) {
        return false;
    }
    if (created_) {
        return true;
    }
    // BigTIFF only when the classic format might not hold the pages.
    std::uint64_t bytes = 0;
    for (const TiffPage& page : pages_) {
        bytes += static_cast<std::uint64_t>(page.layout.width) *
                 static_cast<std::uint64_t>(page.layout.height) *
                 static_cast<std::uint64_t>(std::max(page.layout.samplesPerPixel, planes));
    }
    const bool big = bytes > (std::uint64_t{3} << 30);
    std::string error;
    if (!writer_.Create(temporary_, big, &error)) {
        Fail(error);
        return false;
    }
    created_ = true;
    return true;
}

void TiffOutput::NoteLeftOut(const TiffPage& page, const TiffLayout& layout, bool converted) {
    for (const std::string& name : page.layout.droppedTags) {
        // An unconverted page keeps the tags a conversion would make untrue.
        if (!converted &&
            page.layout.untrueTags.end() !=
                std::find_if(page.layout.untrueTags.begin(), page.layout.untrueTags.end(),
                             [&name](const TiffTag& tag) { return tag.name == name; })) {
            continue;
        }
        if (std::find(leftOut_.begin(), leftOut_.end(), name) == leftOut_.end()) {
            leftOut_.push_back(name);
        }
    }
    if (!page.layout.iccProfile.empty() && layout.iccProfile.empty()) {
        profileRemoved_ = true;
    }
}

std::unique_ptr<rdz::kelt::RowSink> TiffOutput::MakeSink(std::size_t page,
                                                         const rdz::kelt::SinkRequest& request) {
    if (page < nextPage_ || page >= pages_.size() || closed_) {
        return nullptr;
    }
    const int planes = static_cast<int>(request.inks.size()) + (request.alpha ? 1 : 0);
    if (!WritePending(page) || !Begin(planes)) {
        return std::make_unique<PageSink>(*this, page, planes, false);
    }
    std::string error;
    try {
        const TiffLayout layout =
            OutputLayout(pages_[page], request.inks, request.alpha, true, settings_);
        if (!writer_.StartPage(layout, &error)) {
            Fail(error);
            return std::make_unique<PageSink>(*this, page, planes, false);
        }
        NoteLeftOut(pages_[page], layout, true);
    } catch (const WorkError& refused) {
        Fail(refused.what());
        return std::make_unique<PageSink>(*this, page, planes, false);
    }
    return std::make_unique<PageSink>(*this, page, planes, true);
}

bool TiffOutput::WritePending(std::size_t end) {
    for (; nextPage_ < end; ++nextPage_) {
        if (!Begin(0) || !WritePage(nextPage_)) {
            return false;
        }
    }
    return failure_.empty();
}

bool TiffOutput::WritePage(std::size_t index) {
    const TiffPage& page = pages_[index];
    cti_image_t* image = page.definition != nullptr ? page.definition->internal : nullptr;
    if (image == nullptr || rdz::kelt::StorageOf(image) == rdz::kelt::PixelStorage::Sink) {
        // A page whose sink took rows but never finished.
        Fail("the conversion of " + page.name + " stopped before its last row");
        return false;
    }
    const bool converted = image != page.sourceImage;
    const bool copy = !converted && rdz::kelt::StorageOf(image) == rdz::kelt::PixelStorage::Source;
    std::vector<inkt_t*> inks(page.definition->inks,
                              page.definition->inks + page.definition->nrInks);
    const TiffLayout layout =
        copy ? CopyLayout(page, settings_)
             : OutputLayout(page, inks, page.definition->hasAlpha != 0, converted, settings_);
    std::string error;
    if (!writer_.StartPage(layout, &error)) {
        Fail(error);
        return false;
    }
    NoteLeftOut(page, layout, converted);

    // An unconverted page is copied sample for sample; otherwise the
    // image's planes are written with the carried samples beside them.
    const std::size_t width = static_cast<std::size_t>(page.layout.width);
    std::vector<int> planeOf(static_cast<std::size_t>(page.layout.samplesPerPixel), -1);
    int readPlanes = 0;
    for (std::size_t s = 0; s < planeOf.size(); ++s) {
        if (copy) {
            planeOf[s] = readPlanes++;
        }
    }
    for (int sample : page.carried) {
        if (!copy) {
            planeOf[static_cast<std::size_t>(sample)] = readPlanes++;
        }
    }
    const int imagePlanes = copy ? 0 : CTI_nplanes(image);
    std::unique_ptr<TiffRowReader> reader;
    if (readPlanes > 0) {
        reader = std::make_unique<TiffRowReader>(input_, page.layout, planeOf, readPlanes);
    }
    std::vector<std::uint8_t> row(width * static_cast<std::size_t>(imagePlanes + readPlanes));
    const std::string label = "Writing " + std::filesystem::path(final_).filename().string();
    for (int y = 0; y < page.layout.height; ++y) {
        if (imagePlanes > 0 && rdz::kelt::ReadImageRow(image, y, row.data()) != 0) {
            Fail("cannot read row " + std::to_string(y) + " of the converted " + page.name);
            return false;
        }
        if (reader && !reader->ReadRow(
                          y, row.data() + width * static_cast<std::size_t>(imagePlanes), &error)) {
            if (readState_->error.empty()) {
                readState_->error = error;
            }
            return false;
        }
        if (!writer_.WriteRow(row.data(), &error)) {
            Fail(error);
            return false;
        }
        if (settings_.progress != nullptr) {
            settings_.progress->Show(label, static_cast<std::uint64_t>(y) + 1,
                                     static_cast<std::uint64_t>(page.layout.height));
        }
    }
    if (settings_.progress != nullptr) {
        settings_.progress->Clear();
    }
    if (!writer_.FinishPage(&error)) {
        Fail(error);
        return false;
    }
    return true;
}

void TiffOutput::Finish() {
    const auto check = [this] {
        if (!readState_->error.empty()) {
            throw InputError(input_ + ": " + readState_->error);
        }
        if (!failure_.empty()) {
            throw WorkError("cannot write '" + final_ + "': " + failure_);
        }
    };
    check();
    if (pages_.empty()) {
        throw WorkError("cannot write '" + final_ + "': the document holds no image");
    }
    WritePending(pages_.size());
    check();
    std::string error;
    if (!writer_.Close(&error)) {
        Fail(error);
    }
    closed_ = true;
    check();

    if (!leftOut_.empty()) {
        std::string names;
        for (const std::string& name : leftOut_) {
            names += (names.empty() ? "" : ", ") + name;
        }
        KELTIO_Warning("%s", (input_ + ": not carried into " + final_ +
                              ", no longer true after the conversion or not copyable: " + names)
                                 .c_str());
    }
    if (profileRemoved_) {
        KELTIO_Warning("%s", (final_ + ": the conversion changed the colour space and no ICC "
                                       "profile of the new one is known: the input's embedded "
                                       "profile is left out")
                                 .c_str());
    }
}

}  // namespace rdz::formats
