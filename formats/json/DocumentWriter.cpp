// Writing document files (format: docs/document-format.md). The JSON is
// written as it is made (JsonOut), never held whole: a first walk over the
// document gives every ink, paint and image its id, in the order the entries
// are then written; a second walk writes them.
#include <sys/stat.h>

#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "formats/Progress.h"
#include "formats/json/DocumentFile.h"
#include "formats/json/JsonOut.h"
#include "formats/json/PreviousOutput.h"
#include "formats/tiff/TiffFile.h"
#include "host/UTF8FS.h"
#include "platform/files/Temporaries.h"

namespace rdz::formats {
namespace {

namespace fs = std::filesystem;
using json::JsonOut;

/// Pixel file names are kept this short (a readable prefix and a hash when
/// the document and image names make them longer), so that they and their
/// temporary files fit every file system's names.
constexpr std::size_t kMaxPixelFileName = 200;
/// Bytes of "<document>." that every pixel file name of the document starts
/// with, shortened or not.
constexpr std::size_t kPixelNamePrefix = 180;

/// A float as the shortest decimal that reads back as the same float (0.2,
/// not 0.20000000298023224).
double ShortFloat(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::strtod(std::string(buffer, result.ptr).c_str(), nullptr);
}

const char* ObjectTypeName(obj_kind_t kind) {
    switch (kind) {
        case OBJ_KIND_COMPONENT:
            return "component";
        case OBJ_KIND_LAYER:
            return "layer";
        case OBJ_KIND_GROUP:
            return "group";
        case OBJ_KIND_PATH:
            return "path";
        case OBJ_KIND_CT_OBJECT:
            return "image";
        case OBJ_KIND_CONTAINER:
            return "container";
        case OBJ_KIND_FORM:
            return "form";
        default:
            return nullptr;
    }
}

/// Whether the object is written (objects a document file cannot hold, and
/// placements of no image, are left out with everything below them).
bool Written(document_object_t* object) {
    if (ObjectTypeName(object->kind) == nullptr) {
        return false;
    }
    return object->kind != OBJ_KIND_CT_OBJECT ||
           static_cast<ct_object_t*>(object)->definition != nullptr;
}

/// Letters, digits, '.', '-' and '_' of an id; anything else becomes '_'.
std::string FileNamePart(const std::string& id) {
    std::string part;
    for (char c : id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        part += plain ? c : '_';
    }
    return part.empty() ? std::string("image") : part;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? path : canonical.string();
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

/// Ids that stay unique within one kind of entry.
class IdSet {
  public:
    /// The first of the candidates not used yet, else the first with a
    /// number appended.
    std::string Take(const std::vector<std::string>& candidates) {
        for (const std::string& candidate : candidates) {
            if (!candidate.empty() && used_.insert(candidate).second) {
                return candidate;
            }
        }
        const std::string base = candidates.front().empty() ? "id" : candidates.front();
        for (int n = 2;; ++n) {
            const std::string candidate = base + "#" + std::to_string(n);
            if (used_.insert(candidate).second) {
                return candidate;
            }
        }
    }

  private:
    std::set<std::string> used_;
};

class DocumentWriter {
  public:
    DocumentWriter(document_object_t* document, const std::string& path,
                   const std::vector<std::string>& inputs, Progress* progress)
        : document_(document),
          path_(path),
          folder_(fs::path(path).parent_path()),
          stem_(fs::path(path).stem().string()),
          progress_(progress) {
        for (const std::string& file : inputs) {
            inputs_.insert(Canonical(file));
        }
        avoid_ = inputs_;
        avoid_.insert(Canonical(path));
        // The new pixel files never take the names the replaced document
        // file gives its own: until the new document file is in place, the
        // old one must find its pixels as they were.
        const std::string mark = (stem_ + ".").substr(0, kPixelNamePrefix);
        const json::PreviousOutput previous(path);
        for (const auto& [id, name] : previous.Pixels()) {
            if (name.empty() || name.find('/') != std::string::npos || name == "." ||
                name == "..") {
                continue;  // not a file this writer names
            }
            const std::string file = (folder_ / name).string();
            const std::string canonical = Canonical(file);
            avoid_.insert(canonical);
            previousPixels_[id] = file;
            // Removed once the new output is in place, when it is a file of
            // this writer's naming and no input.
            if (name.compare(0, mark.size(), mark) == 0 && name.size() > 4 &&
                name.compare(name.size() - 4, 4, ".tif") == 0 && inputs_.count(canonical) == 0 &&
                IsRegularFile(file)) {
                obsolete_.push_back(file);
            }
        }
    }

    /// Gives every entry its id, in the order the entries are written (only
    /// the images when `imagesOnly`: enough to name the pixel files).
    void Register(bool imagesOnly = false) {
        imagesOnly_ = imagesOnly;
        if (!imagesOnly) {
            for (inkt_t* ink : rdz::kelt::Inks(document_)) {
                RegisterInk(ink);
            }
            const std::vector<paint_t*> paints = rdz::kelt::Paints(document_);
            paintIndex_.reserve(paints.size() + 16);
            paintOrder_.reserve(paints.size());
            for (paint_t* paint : paints) {
                RegisterPaint(paint);
            }
        }
        for (ct_def_t* definition : rdz::kelt::ImageDefinitions(document_)) {
            RegisterImage(definition);
        }
        for (document_object_t* child : rdz::kelt::Children(document_)) {
            RegisterObject(child);
        }
    }

    /// The pixel files the images will be written to, in order.
    std::vector<std::string> PixelFiles() {
        std::vector<std::string> files;
        for (std::size_t i = 0; i < imageOrder_.size(); ++i) {
            if (HasPixels(imageOrder_[i])) {
                files.push_back((folder_ / PixelFileName(i)).string());
            }
        }
        return files;
    }

    void Write(const std::string& jsonTemporary, OutputFiles& outputs) {
        outputs_ = &outputs;
        JsonOut out(jsonTemporary);
        out.BeginObject();
        out.Key("format");
        out.String("rodadazerivo-document");
        out.Key("version");
        out.Integer(1);
        if (document_->name != nullptr) {
            out.Key("name");
            out.String(document_->name);
        }
        if (DOC_is_colorspace_tagged(document_) != 0) {
            const char* name = DOC_get_colorspace(document_);
            out.Key("colorSpace");
            out.BeginObject();
            out.Key("name");
            out.String(name != nullptr ? name : "");
            out.Key("inDatabase");
            out.Bool(DOC_is_colorspace_in_database(document_) != 0);
            out.EndObject();
        }
        out.Key("inks");
        out.BeginArray();
        for (inkt_t* ink : inkOrder_) {
            WriteInk(out, ink);
        }
        out.EndArray();
        // Images before paints: a later run that replaces this file finds the
        // pixel files it names without reading its paints.
        out.Key("images");
        out.BeginArray();
        for (std::size_t i = 0; i < imageOrder_.size(); ++i) {
            WriteImage(out, imageOrder_[i], i);
        }
        out.EndArray();
        out.Key("paints");
        out.BeginArray();
        for (std::size_t i = 0; i < paintOrder_.size(); ++i) {
            WritePaint(out, paintOrder_[i], i);
        }
        out.EndArray();
        out.Key("components");
        WriteObjects(out, document_);
        out.EndObject();
        std::string error;
        if (!out.Close(&error)) {
            throw WorkError("cannot write '" + path_ + "': " + error);
        }
        for (const std::string& file : obsolete_) {
            outputs.RemoveAfterCommit(file);
        }
    }

  private:
    // --- ids ---------------------------------------------------------------

    void RegisterInk(inkt_t* ink) {
        if (imagesOnly_ || ink == nullptr || inkIds_.count(ink) != 0) {
            return;
        }
        const char* book = "";
        const char* name = "";
        INK_get_group_and_name(ink, &book, &name);
        inkIds_[ink] = inkIdSet_.Take({name, std::string(book) + "/" + name});
        inkOrder_.push_back(ink);
    }

    void RegisterAmounts(paint_t* paint) {
        for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
            RegisterInk(amount.ink);
        }
    }

    void RegisterPaint(paint_t* paint) {
        if (imagesOnly_ || paint == nullptr || paintIndex_.count(paint) != 0) {
            return;
        }
        paintIndex_.emplace(paint, paintOrder_.size());
        paintOrder_.push_back(paint);
        if (PAI_get_vignet(paint) != nullptr) {
            for (paint_t* step : rdz::kelt::VignetteSteps(paint)) {
                RegisterAmounts(step);
            }
        } else {
            RegisterAmounts(paint);
        }
    }

    void RegisterImage(ct_def_t* definition) {
        if (imageIndex_.count(definition) != 0) {
            return;
        }
        const std::string name = definition->name != nullptr ? definition->name : "";
        imageIds_.push_back(
            imageIdSet_.Take({name, "image-" + std::to_string(imageOrder_.size() + 1)}));
        imageIndex_.emplace(definition, imageOrder_.size());
        imageOrder_.push_back(definition);
        for (int i = 0; i < definition->nrInks; ++i) {
            RegisterInk(definition->inks[i]);
        }
    }

    void RegisterObject(document_object_t* object) {
        if (!Written(object)) {
            return;
        }
        if (object->kind == OBJ_KIND_CT_OBJECT) {
            auto* placement = static_cast<ct_object_t*>(object);
            RegisterImage(placement->definition);
            if (placement->planeMapUsed != 0 && placement->planePaints != nullptr) {
                for (int i = 0; i < placement->definition->nrInks; ++i) {
                    RegisterPaint(placement->planePaints[i]);
                }
            }
        }
        for (attribute_t* attribute : rdz::kelt::Attributes(object)) {
            paint_info_t* info = ATR_get_paint_info(attribute);
            if (info != nullptr && info->paint != nullptr) {
                RegisterPaint(info->paint);
                if (info->transparency != nullptr && info->transparency->mask != nullptr &&
                    info->transparency->mask->maskContent != nullptr) {
                    for (document_object_t* child :
                         rdz::kelt::Children(info->transparency->mask->maskContent)) {
                        RegisterObject(child);
                    }
                }
            }
        }
        if (object->kind == OBJ_KIND_FORM && rdz::kelt::FormContent(object) != nullptr) {
            for (document_object_t* child : rdz::kelt::Children(rdz::kelt::FormContent(object))) {
                RegisterObject(child);
            }
        }
        for (document_object_t* child : rdz::kelt::Children(object)) {
            RegisterObject(child);
        }
    }

    std::string PaintId(paint_t* paint) const {
        return "p" + std::to_string(paintIndex_.at(paint) + 1);
    }

    // --- pixel files --------------------------------------------------------

    static bool HasPixels(ct_def_t* definition) {
        if (definition->width <= 0 || definition->height <= 0) {
            return false;
        }
        if (rdz::kelt::IsExternal(definition)) {
            return definition->nrInks + (definition->hasAlpha != 0 ? 1 : 0) > 0;
        }
        cti_image_t* image = CT_internal_handle(definition);
        return image != nullptr && CTI_nplanes(image) > 0;
    }

    /// The name of image `index`'s pixel file, chosen once: "<document>.<image
    /// id>.tif", else with "-2", "-3" ... before ".tif" when that name is an
    /// input, the output, a file the replaced output names, or another
    /// image's; shortened to a readable prefix and a hash when too long.
    const std::string& PixelFileName(std::size_t index) {
        auto found = pixelNames_.find(index);
        if (found != pixelNames_.end()) {
            return found->second;
        }
        const std::string base = stem_ + "." + FileNamePart(imageIds_[index]);
        std::string fileName;
        for (int n = 1;; ++n) {
            fileName = rdz::files::ShortenFileName(
                base + (n > 1 ? "-" + std::to_string(n) : "") + ".tif", kMaxPixelFileName);
            if (avoid_.insert(Canonical((folder_ / fileName).string())).second) {
                break;
            }
        }
        return pixelNames_.emplace(index, fileName).first->second;
    }

    /// Writes the image's pixels beside the document; returns the file name.
    std::string WritePixels(ct_def_t* definition, cti_image_t* image, std::size_t index) {
        const std::string fileName = PixelFileName(index);
        const std::string finalPath = (folder_ / fileName).string();
        // A new pixel file has the permissions of the one it succeeds (the
        // same image's in the replaced output), else of the document file.
        const auto previous = previousPixels_.find(imageIds_[index]);
        const std::string like =
            previous != previousPixels_.end() && IsRegularFile(previous->second) ? previous->second
                                                                                 : path_;
        const std::string temporary = outputs_->Add(finalPath, like);

        const int planes = CTI_nplanes(image);
        TiffLayout layout;
        layout.width = definition->width;
        layout.height = definition->height;
        layout.samplesPerPixel = planes;
        layout.compression = 8;  // Deflate, with the horizontal predictor
        layout.predictor = 2;
        const int inkPlanes = planes - (definition->hasAlpha != 0 ? 1 : 0);
        if (inkPlanes > 0) {
            layout.photometric = 5;  // separated
            layout.inkSet = 2;       // multi-ink: the names below
            for (int i = 0; i < inkPlanes; ++i) {
                const char* book = "";
                const char* name = "";
                if (i < definition->nrInks && definition->inks[i] != nullptr) {
                    INK_get_group_and_name(definition->inks[i], &book, &name);
                }
                layout.inkNames.emplace_back(name);
            }
            if (definition->hasAlpha != 0) {
                layout.extraSamples.push_back(ExtraSample::UnassociatedAlpha);
            }
        } else {
            layout.photometric = 1;  // one grey plane: the alpha
        }

        // The rows are read in place: the pixel image keeps them in the
        // layout the writer takes.
        const std::vector<std::uint8_t>& samples = rdz::kelt::ImagePixels(image);
        const std::size_t rowBytes =
            static_cast<std::size_t>(definition->width) * static_cast<std::size_t>(planes);
        std::string error = "the image's planes do not match its size";
        TiffWriter writer;
        const std::string label = "Writing " + fileName;
        bool written = samples.size() == rowBytes * static_cast<std::size_t>(definition->height) &&
                       writer.Open(temporary, layout, &error);
        for (int y = 0; written && y < definition->height; ++y) {
            written =
                writer.WriteRow(samples.data() + rowBytes * static_cast<std::size_t>(y), &error);
            if (progress_ != nullptr) {
                progress_->Show(label, static_cast<std::uint64_t>(y) + 1,
                                static_cast<std::uint64_t>(definition->height));
            }
        }
        written = written && writer.Close(&error);
        if (progress_ != nullptr) {
            progress_->Clear();
        }
        if (!written) {
            throw WorkError("cannot write '" + finalPath + "': " + error);
        }
        return fileName;
    }

    // --- entries ------------------------------------------------------------

    void WriteInk(JsonOut& out, inkt_t* ink) {
        const char* book = "";
        const char* name = "";
        INK_get_group_and_name(ink, &book, &name);
        out.BeginObject();
        out.Key("id");
        out.String(inkIds_.at(ink));
        if (*book != '\0') {
            out.Key("book");
            out.String(book);
        }
        out.Key("name");
        out.String(name);
        const unsigned kinds = rdz::kelt::InkKinds(ink);
        static const std::pair<unsigned, const char*> kKindNames[] = {
            {rdz::kelt::InkProcess, "process"},
            {rdz::kelt::InkOpaque, "opaque"},
            {rdz::kelt::InkTechnical, "technical"},
            {rdz::kelt::InkVarnish, "varnish"},
            {rdz::kelt::InkUnregistered, "unregistered"},
            {rdz::kelt::InkRegistration, "registration"},
        };
        if (kinds != 0) {
            out.Key("kinds");
            out.BeginArray();
            for (const auto& kind : kKindNames) {
                if ((kinds & kind.first) != 0) {
                    out.String(kind.second);
                }
            }
            out.EndArray();
        }
        const char* process = nullptr;
        if (INK_is_process(ink, &process) != 0 && process != nullptr && *process != '\0') {
            out.Key("process");
            out.String(process);
        }
        float rgb[3] = {0.0f, 0.0f, 0.0f};
        INK_get_RGB(ink, rgb);
        out.Key("rgb");
        Floats(out, rgb, 3);
        if (ink->hasCromValues != 0) {
            out.Key("cromValues");
            Floats(out, ink->cromValues, 4);
        }
        if (ink->printingmethod != nullptr) {
            out.Key("printingMethod");
            out.String(ink->printingmethod);
        }
        if (ink->inheritedValue != 0.0) {
            out.Key("inheritedValue");
            out.Double(ink->inheritedValue);
        }
        if (ink->attribute != 0) {
            out.Key("attribute");
            out.Unsigned(ink->attribute);
        }
        out.EndObject();
    }

    static void Floats(JsonOut& out, const float* values, int count) {
        out.BeginArray();
        for (int i = 0; i < count; ++i) {
            out.Double(ShortFloat(values[i]));
        }
        out.EndArray();
    }

    void WriteAmounts(JsonOut& out, paint_t* paint) {
        out.BeginArray();
        for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
            if (amount.ink == nullptr) {
                continue;
            }
            out.BeginObject();
            out.Key("ink");
            out.String(inkIds_.at(amount.ink));
            out.Key("fraction");
            out.Double(amount.fraction);
            if (amount.flags != 1) {
                out.Key("flags");
                out.Integer(amount.flags);
            }
            out.EndObject();
        }
        out.EndArray();
    }

    void WritePaint(JsonOut& out, paint_t* paint, std::size_t index) {
        out.BeginObject();
        out.Key("id");
        out.String("p" + std::to_string(index + 1));
        if (PAI_get_vignet(paint) != nullptr) {
            out.Key("vignette");
            out.BeginArray();
            for (paint_t* step : rdz::kelt::VignetteSteps(paint)) {
                out.BeginObject();
                out.Key("solid");
                WriteAmounts(out, step);
                if (PAI_is_registration(step) != 0) {
                    out.Key("registration");
                    out.Bool(true);
                }
                out.EndObject();
            }
            out.EndArray();
        } else {
            out.Key("solid");
            WriteAmounts(out, paint);
        }
        if (PAI_is_registration(paint) != 0) {
            out.Key("registration");
            out.Bool(true);
        }
        out.EndObject();
    }

    void WriteImage(JsonOut& out, ct_def_t* definition, std::size_t index) {
        out.BeginObject();
        out.Key("id");
        out.String(imageIds_[index]);
        if (definition->name != nullptr) {
            out.Key("name");
            out.String(definition->name);
        }
        out.Key("inks");
        out.BeginArray();
        for (int i = 0; i < definition->nrInks; ++i) {
            inkt_t* ink = definition->inks[i];
            if (ink != nullptr) {
                out.String(inkIds_.at(ink));
            } else {
                out.Null();
            }
        }
        out.EndArray();
        out.Key("width");
        out.Integer(definition->width);
        out.Key("height");
        out.Integer(definition->height);
        out.Key("params");
        out.BeginArray();
        out.Integer(definition->ctParam1);
        out.Integer(definition->ctParam2);
        out.Integer(definition->ctParam3);
        out.EndArray();
        if (definition->hasAlpha != 0) {
            out.Key("alpha");
            out.Bool(true);
        }
        if (definition->monochrome != 0) {
            out.Key("monochrome");
            out.Bool(true);
        }
        if (definition->flags != 0) {
            out.Key("flags");
            out.Unsigned(definition->flags);
        }
        if (rdz::kelt::IsExternal(definition)) {
            out.Key("external");
            out.Bool(true);
            CT_make_internal(definition);
        }
        cti_image_t* image = CT_internal_handle(definition);
        if (image != nullptr && definition->width > 0 && definition->height > 0 &&
            CTI_nplanes(image) > 0) {
            out.Key("pixels");
            out.String(WritePixels(definition, image, index));
        }
        out.EndObject();
    }

    void WriteObjects(JsonOut& out, document_object_t* parent) {
        out.BeginArray();
        if (parent != nullptr) {
            for (document_object_t* child : rdz::kelt::Children(parent)) {
                WriteObject(out, child);
            }
        }
        out.EndArray();
    }

    static bool HasWrittenChildren(document_object_t* object) {
        for (document_object_t* child : rdz::kelt::Children(object)) {
            if (Written(child)) {
                return true;
            }
        }
        return false;
    }

    void WriteObject(JsonOut& out, document_object_t* object) {
        if (!Written(object)) {
            return;
        }
        out.BeginObject();
        out.Key("type");
        out.String(ObjectTypeName(object->kind));
        if (object->name != nullptr) {
            out.Key("name");
            out.String(object->name);
        }
        if (object->kind == OBJ_KIND_CT_OBJECT) {
            auto* placement = static_cast<ct_object_t*>(object);
            out.Key("image");
            out.String(imageIds_[imageIndex_.at(placement->definition)]);
            if (placement->planeMapUsed != 0 && placement->planePaints != nullptr) {
                out.Key("planePaints");
                out.BeginArray();
                for (int i = 0; i < placement->definition->nrInks; ++i) {
                    paint_t* paint = placement->planePaints[i];
                    if (paint != nullptr) {
                        out.String(PaintId(paint));
                    } else {
                        out.Null();
                    }
                }
                out.EndArray();
            }
        }
        const std::vector<attribute_t*> attributes = rdz::kelt::Attributes(object);
        if (!attributes.empty()) {
            out.Key("attributes");
            out.BeginArray();
            for (attribute_t* attribute : attributes) {
                WriteAttribute(out, attribute);
            }
            out.EndArray();
        }
        if (object->kind == OBJ_KIND_FORM) {
            out.Key("content");
            WriteObjects(out, rdz::kelt::FormContent(object));
        }
        if (HasWrittenChildren(object)) {
            out.Key("children");
            WriteObjects(out, object);
        }
        out.EndObject();
    }

    void WriteAttribute(JsonOut& out, attribute_t* attribute) {
        out.BeginObject();
        paint_info_t* info = ATR_get_paint_info(attribute);
        if (info != nullptr && info->paint != nullptr) {
            out.Key("paint");
            out.String(PaintId(info->paint));
        }
        if (ATR_contains_alfa(attribute) != 0) {
            out.Key("transparent");
            out.Bool(true);
        }
        if (info != nullptr && info->paint != nullptr && info->transparency != nullptr &&
            info->transparency->mask != nullptr) {
            const opacity_mask_t* mask = info->transparency->mask;
            out.Key("opacityMask");
            out.BeginObject();
            out.Key("kind");
            out.Integer(mask->maskKind);
            out.Key("content");
            WriteObjects(out, mask->maskContent);
            out.EndObject();
        }
        out.EndObject();
    }

    document_object_t* document_;
    std::string path_;
    fs::path folder_;
    std::string stem_;
    Progress* progress_;
    bool imagesOnly_ = false;
    OutputFiles* outputs_ = nullptr;
    std::set<std::string> inputs_;
    std::set<std::string> avoid_;
    std::map<std::string, std::string> previousPixels_;  // image id -> file
    std::vector<std::string> obsolete_;

    std::unordered_map<inkt_t*, std::string> inkIds_;
    std::vector<inkt_t*> inkOrder_;
    IdSet inkIdSet_;
    std::unordered_map<paint_t*, std::size_t> paintIndex_;
    std::vector<paint_t*> paintOrder_;
    std::unordered_map<ct_def_t*, std::size_t> imageIndex_;
    std::vector<ct_def_t*> imageOrder_;
    std::vector<std::string> imageIds_;
    IdSet imageIdSet_;
    std::map<std::size_t, std::string> pixelNames_;
};

}  // namespace

void WriteDocumentFile(document_object_t* document, const std::string& path,
                       const std::string& jsonTemporary, OutputFiles& outputs,
                       const std::vector<std::string>& avoid, Progress* progress) {
    DocumentWriter writer(document, path, avoid, progress);
    writer.Register();
    writer.Write(jsonTemporary, outputs);
}

std::vector<std::string> PlannedPixelFiles(document_object_t* document, const std::string& path,
                                           const std::vector<std::string>& avoid) {
    DocumentWriter writer(document, path, avoid, nullptr);
    writer.Register(true);
    return writer.PixelFiles();
}

void CheckDocumentOutputName(const std::string& path) {
    bool utf8 = true;
    try {
        Utf8ToUnicode(fs::path(path).stem().string());
    } catch (const std::invalid_argument&) {
        utf8 = false;
    }
    if (!utf8) {
        throw UsageError("the output name '" + path +
                         "' is not UTF-8: a document file names its pixel files after it in "
                         "JSON, which holds UTF-8 only; choose a UTF-8 name");
    }
    const std::string name = fs::path(path).filename().string();
    if (name.size() > rdz::files::kMaxFileNameBytes) {
        throw UsageError("the output name '" + path + "' is too long: its file name has " +
                         std::to_string(name.size()) + " bytes, a file name at most " +
                         std::to_string(rdz::files::kMaxFileNameBytes));
    }
}

}  // namespace rdz::formats
