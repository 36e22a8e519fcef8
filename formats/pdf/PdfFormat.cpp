#include "formats/pdf/PdfFormat.h"

#include <filesystem>

#include <qpdf/QPDFExc.hh>
#include "formats/Errors.h"
#include "formats/FileNames.h"
#include "formats/LargeBlocks.h"
#include "formats/pdf/ContentRewriter.h"
#include "formats/pdf/ContentWalker.h"
#include "formats/pdf/ImageCompressor.h"
#include "formats/pdf/ImageDecoder.h"
#include "formats/pdf/ImageStreamer.h"
#include "formats/pdf/Images.h"
#include "formats/pdf/OutputSpaces.h"
#include "formats/pdf/PdfCatalogue.h"
#include "formats/pdf/PdfFile.h"
#include "formats/pdf/Shadings.h"
#include "host/zqmsg.h"

namespace rdz::formats {
namespace {

using namespace rdz::formats::pdf;

std::string Megabytes(long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1.0e6);
    return text;
}

class PdfDocument : public FormatDocument {
  public:
    PdfDocument(const std::string& path, const ReadSettings& settings) {
        const std::string stem = std::filesystem::path(path).stem().string();
        document_.reset(rdz::kelt::NewDocument(stem.c_str()));
        files_.push_back(path);
        catalogue_ = std::make_unique<PdfCatalogue>(document_.get(), *settings.books);
        PdfCatalogue& c = *catalogue_;
        c.file = path;
        // qpdf reports what it cannot read by throwing, wherever it meets it.
        try {
            Read(settings);
        } catch (const InputError&) {
            throw;
        } catch (const QPDFExc& e) {
            throw InputError(path + ": the PDF cannot be read: " + DescribeQpdfError(e));
        } catch (const std::exception& e) {
            throw InputError(path + ": the PDF cannot be read: " + e.what());
        }
        for (const std::string& warning : c.notes.Warnings(path)) {
            KELTIO_Warning("%s", warning.c_str());
        }
        warningsGiven_ = c.notes.WarningCount();
        // The conversion will want the first large image first.
        c.streamer->StartFirst();
    }

    ~PdfDocument() override { StopWatching(); }

    /// Sets up the writing before the conversion, so that converted images
    /// are compressed while the conversion goes on.
    void PrepareOutput(const std::string&, const std::string&, OutputFiles&,
                       const WriteSettings& settings) override {
        Prepare(settings);
        previous_ =
            rdz::kelt::SetRowProgress([this](const ct_def_t* definition, int row, int height) {
                if (previous_) {
                    previous_(definition, row, height);
                }
                compressor_->Reading(definition);
            });
        watching_ = true;
    }

    void Write(const std::string& output, const std::string& temporary, OutputFiles&,
               const WriteSettings& settings) override {
        try {
            WritePdfDocument(output, temporary, settings);
        } catch (const WorkError&) {
            throw;
        } catch (const std::exception& e) {
            throw WorkError("cannot write '" + output + "': " + e.what());
        }
    }

    std::vector<LeftAlone> LeftAloneParts() const override { return catalogue_->notes.Left(); }

  private:
    void WritePdfDocument(const std::string& output, const std::string& temporary,
                          const WriteSettings& settings) {
        PdfCatalogue& c = *catalogue_;
        StopWatching();
        // Images whose data turned out damaged when they were converted.
        for (const std::string& warning : c.notes.WarningsFrom(warningsGiven_, c.file)) {
            KELTIO_Warning("%s", warning.c_str());
        }
        warningsGiven_ = c.notes.WarningCount();
        if (!spaces_) {
            Prepare(settings);
        }
        OutputSpaces& spaces = *spaces_;
        const std::vector<paint_t*> paints = c.slots.Resolve();
        const int shadings = WriteShadings(c, paints, spaces);
        long long dctGrowth = 0;
        int dctCount = 0;
        int images = WriteImages(c, spaces, *compressor_, dctGrowth, dctCount);
        int operators = 0;
        // Content read in soft masks first: a stream also used as artwork
        // ends as artwork.
        for (int artwork = 0; artwork < 2; ++artwork) {
            for (ContentUnit& unit : c.units) {
                if ((unit.context == kArtwork) == (artwork == 1) && unit.HasEdits()) {
                    operators += RewriteUnit(c, unit, paints, spaces);
                }
            }
        }
        for (ImageRecord& record : c.images) {
            images += record.stream.isNull() && ImageConverted(record) ? 1 : 0;
        }
        UpdateOutputIntents(*c.qpdf, settings.profile);
        WritePdf(*c.qpdf, temporary, output);
        std::string summary = "PDF " + std::filesystem::path(output).filename().string() +
                              ": rewrote " + std::to_string(operators) + " colour operator" +
                              (operators == 1 ? "" : "s") + ", " + std::to_string(shadings) +
                              " shading" + (shadings == 1 ? "" : "s") + " and " +
                              std::to_string(images) + " image" + (images == 1 ? "" : "s");
        if (dctCount > 0) {
            summary += "; " + std::to_string(dctCount) + " converted JPEG (DCT) image" +
                       (dctCount == 1 ? " is" : "s are") + " now Flate-compressed: " +
                       (dctGrowth >= 0 ? Megabytes(dctGrowth) + " larger"
                                       : Megabytes(-dctGrowth) + " smaller");
        }
        MSG_Info("%s", summary.c_str());
    }

    void Read(const ReadSettings& settings) {
        PdfCatalogue& c = *catalogue_;
        c.qpdf = OpenPdf(c.file);
        // Spot colours given in CMYK are read through the output intent's
        // profile, else the profile the conversion takes the input to be in.
        if (!c.math.SetCmykProfile(OutputIntentProfile(*c.qpdf))) {
            c.math.SetCmykProfile(settings.sourceProfile);
        }
        ContentWalker(c).WalkDocument();
        c.decoder->Finish();
        // A conversion makes an image the size of the first one: have its
        // memory made ready meanwhile.
        for (const ImageRecord& record : c.images) {
            if (record.definition != nullptr && !record.palette) {
                PrepareLargeBlock(
                    static_cast<std::size_t>(record.definition->width) *
                    static_cast<std::size_t>(record.definition->height) *
                    static_cast<std::size_t>(CTI_nplanes(record.definition->internal)));
                break;
            }
        }
        const std::string repaired = RepairWarning(*c.qpdf);
        if (!repaired.empty()) {
            c.notes.Warn(repaired);
        }
    }

    void Prepare(const WriteSettings& settings) {
        if (settings.profile.changed && !settings.profile.icc.empty()) {
            // New spot equivalents are in the new colour space.
            catalogue_->math.SetCmykProfile(settings.profile.icc);
        }
        spaces_ = std::make_unique<OutputSpaces>(*catalogue_);
        compressor_ = std::make_unique<ImageCompressor>(*catalogue_, *spaces_);
    }

    /// Puts back the row hook that was there before PrepareOutput, unless
    /// someone replaced it meanwhile.
    void StopWatching() {
        if (watching_) {
            rdz::kelt::RowProgressFunction current = rdz::kelt::SetRowProgress(nullptr);
            rdz::kelt::SetRowProgress(current ? std::move(previous_) : nullptr);
            watching_ = false;
        }
    }

    std::unique_ptr<PdfCatalogue> catalogue_;
    std::unique_ptr<OutputSpaces> spaces_;
    std::unique_ptr<ImageCompressor> compressor_;
    rdz::kelt::RowProgressFunction previous_;
    bool watching_ = false;
    std::size_t warningsGiven_ = 0;  // the catalogue's warnings said so far
};

}  // namespace

bool PdfFormat::Recognises(const std::string& path, const std::string& head) const {
    // Readers take a header after some bytes of other things; a JSON text
    // that names "%PDF-" is still a JSON text.
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    const bool json = first != std::string::npos && (head[first] == '{' || head[first] == '[');
    if (!json && head.find("%PDF-") != std::string::npos) {
        return true;
    }
    return head.empty() && HasExtension(path, {".pdf"});
}

bool PdfFormat::NamesOutput(const std::string& path) const {
    return HasExtension(path, {".pdf"});
}

std::unique_ptr<FormatDocument> PdfFormat::Read(const std::string& path,
                                                const ReadSettings& settings) const {
    return std::make_unique<PdfDocument>(path, settings);
}

}  // namespace rdz::formats
