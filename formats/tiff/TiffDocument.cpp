#include "formats/tiff/TiffDocument.h"

#include <lcms2.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

#include "formats/Errors.h"
#include "formats/FileNames.h"
#include "formats/InkBooks.h"
#include "formats/tiff/TiffOutput.h"
#include "platform/kelt/ImageStreams.h"

namespace rdz::formats {
namespace {

constexpr std::uint16_t kSeparated = 5;
constexpr std::uint16_t kInkSetCmyk = 1;
constexpr std::uint16_t kResolutionCentimetre = 3;
const char* const kProcessNames[4] = {"Cyan", "Magenta", "Yellow", "Black"};

int ProcessIndex(const std::string& name) {
    for (int i = 0; i < 4; ++i) {
        if (EqualsIgnoringCase(name, kProcessNames[i])) {
            return i;
        }
    }
    return -1;
}

int Dpi(const TiffLayout& layout, float resolution) {
    if (!layout.hasResolution || !(resolution > 0.0f)) {
        return 300;
    }
    const double perInch =
        layout.resolutionUnit == kResolutionCentimetre ? resolution * 2.54 : resolution;
    return static_cast<int>(std::lround(std::min(perInch, 1e6)));
}

/// `text` with control characters written as \n, \t, \r or \xNN.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool HasControlCharacter(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

/// A document ink for a sample named `name`.
inkt_t* MakeInk(document_object_t* document, const std::string& name, bool process,
                const InkBooks& books) {
    rdz::kelt::InkSetup setup;
    setup.name = name;
    const BookInk* known = books.FindByName(name, process);
    std::array<double, 3> rgb{{0.5, 0.5, 0.5}};
    if (process) {
        setup.book = known != nullptr && known->process ? known->book : "Process";
        setup.kinds = rdz::kelt::InkProcess;
        setup.process = "CMYK";
        static const std::array<double, 3> kProcessRgb[4] = {
            {{0.0, 0.63, 0.89}}, {{0.9, 0.0, 0.49}}, {{1.0, 0.93, 0.0}}, {{0.14, 0.12, 0.13}}};
        rgb = kProcessRgb[ProcessIndex(name)];
    } else if (known != nullptr) {
        setup.book = known->book;
        // The document knows opaque and transparent inks only.
        setup.kinds = known->opacity >= 0.5 ? rdz::kelt::InkOpaque : 0u;
    }
    if (known != nullptr) {
        rgb = LabToSrgb(known->lab);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        setup.rgb[i] = static_cast<float>(rgb[i]);
    }
    return rdz::kelt::AddInk(document, setup);
}

/// Reads a page's rows for its image definition, on demand.
class TiffPageSource : public rdz::kelt::RowSource {
  public:
    /// Failures are kept in `state`, after `prefix` (the page, in a file
    /// of several).
    TiffPageSource(const std::string& path, const TiffPage& page, int planes, std::string prefix,
                   std::shared_ptr<TiffReadState> state)
        : reader_(path, page.layout, page.planeOf, planes),
          height_(page.layout.height),
          prefix_(std::move(prefix)),
          state_(std::move(state)) {}

    bool ReadRow(int row, unsigned char* planes) override {
        std::string error;
        if (!reader_.ReadRow(row, planes, &error)) {
            if (state_->error.empty()) {
                state_->error = prefix_ + error;
            }
            return false;
        }
        if (row == height_ - 1) {
            reader_.Close();  // the band and the file are not needed until asked again
        }
        return true;
    }

  private:
    TiffRowReader reader_;
    int height_;
    std::string prefix_;
    std::shared_ptr<TiffReadState> state_;
};

/// Whether two ICC profiles are the same profile: equal bytes apart from
/// the header fields the profile ID leaves out (flags, rendering intent,
/// the ID itself).
bool SameProfile(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.size() < 128) {
        return a == b;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const bool ignored = (i >= 44 && i < 48) || (i >= 64 && i < 68) || (i >= 84 && i < 100);
        if (!ignored && a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

std::string ProfileDescription(const std::vector<std::uint8_t>& icc) {
    cmsHPROFILE profile =
        cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    if (profile == nullptr) {
        return "an unreadable ICC profile";
    }
    char text[256] = {};
    const cmsUInt32Number got =
        cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    cmsCloseProfile(profile);
    return got > 0 && text[0] != '\0' ? "the ICC profile \"" + Escaped(text) + "\""
                                      : "an ICC profile without a description";
}

}  // namespace

TiffDocument::TiffDocument(const std::string& path, const ReadSettings& settings)
    : path_(path), readState_(std::make_shared<TiffReadState>()) {
    std::vector<TiffLayout> layouts;
    std::string error;
    if (!ReadTiffPages(path, &layouts, &error)) {
        throw InputError(path + ": " + error);
    }
    const std::size_t pageCount = layouts.size();
    const std::string stem = std::filesystem::path(path).stem().string();
    document_.reset(rdz::kelt::NewDocument(stem.c_str()));
    document_object_t* document = document_.get();
    files_.push_back(path);
    pages_.reserve(pageCount);

    for (std::size_t index = 0; index < pageCount; ++index) {
        TiffPage page;
        page.layout = std::move(layouts[index]);
        const TiffLayout& layout = page.layout;
        const std::string where = pageCount > 1 ? path + ": page " + std::to_string(index + 1) +
                                                      " of " + std::to_string(pageCount) + ": "
                                                : path + ": ";
        page.name = pageCount > 1 ? stem + " page " + std::to_string(index + 1) : stem;
        if (layout.photometric != kSeparated) {
            throw InputError(where + "not a CMYK image (photometric interpretation " +
                             std::to_string(layout.photometric) + "; separated, 5, is read)");
        }
        const int spp = layout.samplesPerPixel;
        const int colour = layout.ColorSamples();
        if (layout.inkSet == kInkSetCmyk && colour < 4) {
            throw InputError(where + "a CMYK image needs 4 colour samples, this one has " +
                             std::to_string(colour));
        }
        if (colour < 1) {
            throw InputError(where + "the image has no colour samples");
        }

        // What each sample is: an ink (by name, process or not), the alpha
        // plane, or an alpha sample carried aside.
        struct Sample {
            std::string name;
            bool process = false;
            bool alpha = false;
            bool carried = false;
        };
        std::vector<Sample> samples(static_cast<std::size_t>(spp));
        const bool namesCoverAlpha = static_cast<int>(layout.inkNames.size()) == spp;
        bool haveAlpha = false;
        int inkIndex = 0;
        int spotNumber = 0;
        for (int s = 0; s < spp; ++s) {
            Sample& sample = samples[static_cast<std::size_t>(s)];
            const bool extra = s >= colour;
            const ExtraSample kind = extra
                                         ? layout.extraSamples[static_cast<std::size_t>(s - colour)]
                                         : ExtraSample::Unspecified;
            if (extra && IsAlpha(kind)) {
                // One alpha plane travels with the document; every further
                // alpha or mask sample is copied to the output untouched.
                (haveAlpha ? sample.carried : sample.alpha) = true;
                if (!haveAlpha) {
                    page.alphaKind = kind;
                }
                haveAlpha = true;
                continue;
            }
            const std::size_t nameIndex = static_cast<std::size_t>(namesCoverAlpha ? s : inkIndex);
            const bool named =
                nameIndex < layout.inkNames.size() && !layout.inkNames[nameIndex].empty();
            if (layout.inkSet == kInkSetCmyk && s < 4) {
                sample.name = kProcessNames[s];
                sample.process = true;
            } else if (named) {
                sample.name = layout.inkNames[nameIndex];
                if (sample.name.size() > kMaxInkNameBytes) {
                    throw InputError(where + "the name of ink sample " + std::to_string(s + 1) +
                                     " holds " + std::to_string(sample.name.size()) +
                                     " bytes; an ink name holds at most " +
                                     std::to_string(kMaxInkNameBytes));
                }
                if (HasControlCharacter(sample.name)) {
                    throw InputError(where + "the name of ink sample " + std::to_string(s + 1) +
                                     " (\"" + Escaped(sample.name) +
                                     "\") holds a control character; such ink names are not "
                                     "accepted");
                }
                sample.process = !extra && ProcessIndex(sample.name) >= 0;
            } else if (extra) {
                throw InputError(where + "extra sample " + std::to_string(s - colour + 1) +
                                 " (sample " + std::to_string(s + 1) +
                                 ") is neither alpha nor an ink named by the InkNames tag; it "
                                 "would be converted as an ink of unknown colour");
            } else {
                sample.name = "Spot " + std::to_string(++spotNumber);
            }
            ++inkIndex;
        }

        rdz::kelt::ImageSetup setup;
        page.planeOf.assign(static_cast<std::size_t>(spp), -1);
        std::set<inkt_t*> pageInks;
        for (int s = 0; s < spp; ++s) {
            const Sample& sample = samples[static_cast<std::size_t>(s)];
            if (sample.alpha || sample.carried) {
                continue;
            }
            inkt_t* ink = MakeInk(document, sample.name, sample.process, *settings.books);
            if (!pageInks.insert(ink).second) {
                throw InputError(where + "the ink \"" + sample.name + "\" is named twice");
            }
            page.planeOf[static_cast<std::size_t>(s)] = static_cast<int>(setup.inks.size());
            setup.inks.push_back(ink);
        }
        for (int s = 0; s < spp; ++s) {
            const Sample& sample = samples[static_cast<std::size_t>(s)];
            if (sample.alpha) {
                page.planeOf[static_cast<std::size_t>(s)] = static_cast<int>(setup.inks.size());
                setup.alpha = true;
            } else if (sample.carried) {
                page.carried.push_back(s);
            }
        }
        setup.width = layout.width;
        setup.height = layout.height;
        setup.params[0] = Dpi(layout, layout.xResolution);
        setup.params[1] = Dpi(layout, layout.yResolution);
        const int planes = static_cast<int>(setup.inks.size()) + (setup.alpha ? 1 : 0);

        // The band of rows a page's reading holds must fit the budget; the
        // check is made now, before any work.
        try {
            TiffRowReader probe(path, layout, page.planeOf, planes);
            std::vector<std::uint8_t> row(static_cast<std::size_t>(layout.width) *
                                          static_cast<std::size_t>(planes));
            if (!probe.ReadRow(0, row.data(), &error)) {
                throw InputError(where + error);
            }
        } catch (const rdz::kelt::MemoryBudgetExceeded& exceeded) {
            throw InputError(where + exceeded.what());
        } catch (const std::bad_alloc&) {
            throw InputError(where + "not enough memory to read the image");
        }

        auto source = std::make_unique<TiffPageSource>(path, page, planes,
                                                       where.substr(path.size() + 2), readState_);
        ct_def_t* definition =
            rdz::kelt::AddStreamedImageDefinition(document, setup, std::move(source));
        if (definition == nullptr) {
            throw InputError(where + "cannot hold an image of " + std::to_string(layout.width) +
                             " x " + std::to_string(layout.height) + " pixels");
        }
        LAY_set_name(definition, page.name.c_str());
        document_object_t* component = rdz::kelt::AddComponent(document, page.name.c_str());
        rdz::kelt::AddImagePlacement(rdz::kelt::AddLayer(component, "Image"), definition);
        page.definition = definition;
        page.sourceImage = definition->internal;
        pages_.push_back(std::move(page));
    }

    // An embedded profile other than the one the conversion assumes means
    // the colours are read as something they are not: said once per file.
    if (!settings.sourceProfile.empty()) {
        for (const TiffPage& page : pages_) {
            if (!page.layout.iccProfile.empty() &&
                !SameProfile(page.layout.iccProfile, settings.sourceProfile)) {
                const std::string source = settings.sourceProfileName.empty()
                                               ? std::string("the source profile")
                                               : "\"" + Escaped(settings.sourceProfileName) + "\"";
                KELTIO_Warning("%s", (path + ": the image embeds " +
                                      ProfileDescription(page.layout.iccProfile) +
                                      ", but its colours are converted as " + source)
                                         .c_str());
                break;
            }
        }
    }
}

TiffDocument::~TiffDocument() {
    // The document's images hold sinks that write through the output: they
    // go first.
    document_.reset();
}

void TiffDocument::PrepareOutput(const std::string& output, const std::string& temporary,
                                 OutputFiles&, const WriteSettings& settings) {
    output_ = std::make_unique<TiffOutput>(path_, pages_, readState_, temporary, output, settings);
    TiffOutput* sinkMaker = output_.get();
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        rdz::kelt::SetRowSinkFactory(pages_[i].definition,
                                     [sinkMaker, i](const rdz::kelt::SinkRequest& request) {
                                         return sinkMaker->MakeSink(i, request);
                                     });
    }
}

void TiffDocument::Write(const std::string& output, const std::string& temporary, OutputFiles&,
                         const WriteSettings& settings) {
    if (!output_) {
        output_ =
            std::make_unique<TiffOutput>(path_, pages_, readState_, temporary, output, settings);
    }
    // No more sinks: whatever converts after this keeps its image in memory.
    for (const TiffPage& page : pages_) {
        rdz::kelt::SetRowSinkFactory(page.definition, nullptr);
    }
    output_->Finish();
}

}  // namespace rdz::formats
