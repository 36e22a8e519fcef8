#include "formats/tiff/TiffDocument.h"

#include <cmath>
#include <filesystem>

#include "formats/Errors.h"
#include "formats/InkBooks.h"
#include "formats/LargeBlocks.h"
#include "formats/Progress.h"

namespace rdz::formats {
namespace {

constexpr std::uint16_t kSeparated = 5;
constexpr std::uint16_t kInkSetCmyk = 1;
constexpr std::uint16_t kInkSetMultiInk = 2;
constexpr std::uint16_t kResolutionCentimetre = 3;
const char* const kProcessNames[4] = {"Cyan", "Magenta", "Yellow", "Black"};

bool IsAlpha(ExtraSample kind) {
    return kind == ExtraSample::AssociatedAlpha || kind == ExtraSample::UnassociatedAlpha;
}

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

}  // namespace

LoadedTiffDocument ReadTiffDocument(const std::string& path, const InkBooks& books,
                                    Progress* progress) {
    TiffReader reader;
    std::string error;
    if (!reader.Open(path, &error)) {
        throw InputError(path + ": " + error);
    }
    const TiffLayout& layout = reader.Layout();
    if (layout.photometric != kSeparated) {
        throw InputError(path + ": not a CMYK image (photometric interpretation " +
                         std::to_string(layout.photometric) + "; separated, 5, is read)");
    }
    const int spp = layout.samplesPerPixel;
    const int colour = layout.ColorSamples();
    if (layout.inkSet == kInkSetCmyk && colour < 4) {
        throw InputError(path + ": a CMYK image needs 4 colour samples, this one has " +
                         std::to_string(colour));
    }
    if (colour < 1) {
        throw InputError(path + ": the image has no colour samples");
    }

    // What each sample is: an ink (by name, process or not) or the alpha.
    struct Sample {
        std::string name;
        bool process = false;
        bool alpha = false;
    };
    std::vector<Sample> samples(static_cast<std::size_t>(spp));
    const bool namesCoverAlpha = static_cast<int>(layout.inkNames.size()) == spp;
    int alphaSample = -1;
    int inkIndex = 0;
    int spotNumber = 0;
    for (int s = 0; s < spp; ++s) {
        Sample& sample = samples[static_cast<std::size_t>(s)];
        const bool extra = s >= colour;
        if (extra && IsAlpha(layout.extraSamples[static_cast<std::size_t>(s - colour)]) &&
            alphaSample < 0) {
            sample.alpha = true;
            alphaSample = s;
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
                throw InputError(path + ": the name of ink sample " + std::to_string(s + 1) +
                                 " holds " + std::to_string(sample.name.size()) +
                                 " bytes; an ink name holds at most " +
                                 std::to_string(kMaxInkNameBytes));
            }
            sample.process = !extra && ProcessIndex(sample.name) >= 0;
        } else {
            sample.name = "Spot " + std::to_string(++spotNumber);
        }
        ++inkIndex;
    }

    LoadedTiffDocument loaded;
    loaded.layout = layout;
    const std::string stem = std::filesystem::path(path).stem().string();
    loaded.document.reset(rdz::kelt::NewDocument(stem.c_str()));
    document_object_t* document = loaded.document.get();

    rdz::kelt::ImageSetup setup;
    std::vector<int> planeOf(static_cast<std::size_t>(spp));
    for (int s = 0; s < spp; ++s) {
        const Sample& sample = samples[static_cast<std::size_t>(s)];
        if (sample.alpha) {
            continue;
        }
        const std::size_t before = rdz::kelt::Inks(document).size();
        inkt_t* ink = MakeInk(document, sample.name, sample.process, books);
        if (rdz::kelt::Inks(document).size() == before) {
            throw InputError(path + ": the ink \"" + sample.name + "\" is named twice");
        }
        planeOf[static_cast<std::size_t>(s)] = static_cast<int>(setup.inks.size());
        setup.inks.push_back(ink);
    }
    if (alphaSample >= 0) {
        planeOf[static_cast<std::size_t>(alphaSample)] = static_cast<int>(setup.inks.size());
        setup.alpha = true;
    }
    setup.width = layout.width;
    setup.height = layout.height;
    setup.params[0] = Dpi(layout, layout.xResolution);
    setup.params[1] = Dpi(layout, layout.yResolution);
    setup.params[2] = 0;
    ct_def_t* definition = nullptr;
    try {
        definition = rdz::kelt::AddImageDefinition(document, setup);
    } catch (const std::bad_alloc&) {
        definition = nullptr;
    }
    if (definition == nullptr) {
        throw InputError(path + ": not enough memory for an image of " +
                         std::to_string(layout.width) + " x " + std::to_string(layout.height) +
                         " pixels");
    }
    LAY_set_name(definition, stem.c_str());
    document_object_t* component = rdz::kelt::AddComponent(document, stem.c_str());
    rdz::kelt::AddImagePlacement(rdz::kelt::AddLayer(component, "Image"), definition);

    // A conversion makes an image of about the same size: have its memory
    // made ready while this one is read.
    PrepareLargeBlock(ImageBytes(layout.width, layout.height, spp));

    cti_image_t* image = CT_internal_handle(definition);
    const std::string label = "Reading " + std::filesystem::path(path).filename().string();
    const bool read = reader.ReadRows(
        planeOf,
        [&](int row, const std::uint8_t* planes) {
            if (progress != nullptr) {
                progress->Show(label, static_cast<std::uint64_t>(row) + 1,
                               static_cast<std::uint64_t>(layout.height));
            }
            return CTI_putrow_line_il(image, planes, row, 0, 0) == 0;
        },
        &error);
    if (progress != nullptr) {
        progress->Clear();
    }
    if (!read) {
        throw InputError(path + ": " + error);
    }
    return loaded;
}

void WriteTiffDocument(document_object_t* document, const TiffLayout& source,
                       const std::string& temporary, const std::string& finalPath,
                       Progress* progress) {
    const std::vector<ct_def_t*> definitions = rdz::kelt::ImageDefinitions(document);
    ct_def_t* definition = definitions.empty() ? nullptr : definitions.front();
    cti_image_t* image = definition != nullptr ? CT_internal_handle(definition) : nullptr;
    if (image == nullptr || definition->nrInks < 1) {
        throw WorkError("cannot write '" + finalPath + "': the document holds no image");
    }
    const int inks = definition->nrInks;
    const bool alpha = definition->hasAlpha != 0;

    TiffLayout layout;
    layout.width = definition->width;
    layout.height = definition->height;
    layout.samplesPerPixel = inks + (alpha ? 1 : 0);
    layout.photometric = kSeparated;
    layout.compression = source.compression;
    layout.predictor = source.predictor;
    layout.hasResolution = source.hasResolution;
    layout.xResolution = source.xResolution;
    layout.yResolution = source.yResolution;
    layout.resolutionUnit = source.resolutionUnit;

    std::vector<std::string> names;
    for (int i = 0; i < inks; ++i) {
        const char* book = "";
        const char* name = "";
        if (definition->inks[i] != nullptr) {
            INK_get_group_and_name(definition->inks[i], &book, &name);
        }
        names.emplace_back(name);
    }
    bool cmyk = inks >= 4;
    for (int i = 0; cmyk && i < 4; ++i) {
        cmyk = ProcessIndex(names[static_cast<std::size_t>(i)]) == i;
    }
    if (cmyk) {
        layout.inkSet = kInkSetCmyk;
        layout.extraSamples.assign(static_cast<std::size_t>(inks - 4), ExtraSample::Unspecified);
        if (inks > 4) {
            layout.inkNames = names;
        }
    } else {
        layout.inkSet = kInkSetMultiInk;
        layout.inkNames = names;
    }
    if (alpha) {
        ExtraSample kind = ExtraSample::UnassociatedAlpha;
        for (ExtraSample extra : source.extraSamples) {
            if (IsAlpha(extra)) {
                kind = extra;
                break;
            }
        }
        layout.extraSamples.push_back(kind);
    }

    // The rows are read in place: the pixel image keeps them in the layout
    // the writer takes.
    const std::vector<std::uint8_t>& samples = rdz::kelt::ImagePixels(image);
    const std::size_t rowBytes =
        static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.samplesPerPixel);
    if (CTI_nplanes(image) != layout.samplesPerPixel ||
        samples.size() != rowBytes * static_cast<std::size_t>(layout.height)) {
        throw WorkError("cannot write '" + finalPath + "': the image's planes do not match");
    }
    std::string error;
    TiffWriter writer;
    const std::string label = "Writing " + std::filesystem::path(finalPath).filename().string();
    bool written = writer.Open(temporary, layout, &error);
    for (int y = 0; written && y < layout.height; ++y) {
        written = writer.WriteRow(samples.data() + rowBytes * static_cast<std::size_t>(y), &error);
        if (progress != nullptr) {
            progress->Show(label, static_cast<std::uint64_t>(y) + 1,
                           static_cast<std::uint64_t>(layout.height));
        }
    }
    written = written && writer.Close(&error);
    if (progress != nullptr) {
        progress->Clear();
    }
    if (!written) {
        throw WorkError("cannot write '" + finalPath + "': " + error);
    }
}

}  // namespace rdz::formats
