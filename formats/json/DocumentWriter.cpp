// Writing document files (format: docs/document-format.md).
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "host/UTF8FS.h"
#include "formats/json/DocumentFile.h"
#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "formats/Progress.h"
#include "formats/tiff/TiffFile.h"

namespace rdz::formats {
namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

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
    DocumentWriter(document_object_t* document, const std::string& path, OutputFiles& outputs,
                   const std::vector<std::string>& avoid, Progress* progress)
        : document_(document), path_(path), outputs_(outputs), progress_(progress) {
        for (const std::string& file : avoid) {
            avoid_.insert(Canonical(file));
        }
        avoid_.insert(Canonical(path));
    }

    void Write(const std::string& jsonTemporary) {
        for (inkt_t* ink : rdz::kelt::Inks(document_)) {
            InkId(ink);
        }
        for (paint_t* paint : rdz::kelt::Paints(document_)) {
            PaintId(paint);
        }
        for (ct_def_t* definition : rdz::kelt::ImageDefinitions(document_)) {
            ImageId(definition);
        }
        Json components = Json::array();
        for (document_object_t* child : rdz::kelt::Children(document_)) {
            AppendObject(components, child);
        }

        Json root;
        root["format"] = "rodadazerivo-document";
        root["version"] = 1;
        if (document_->name != nullptr) {
            root["name"] = document_->name;
        }
        if (DOC_is_colorspace_tagged(document_) != 0) {
            const char* name = DOC_get_colorspace(document_);
            root["colorSpace"] = {{"name", name != nullptr ? name : ""},
                                  {"inDatabase", DOC_is_colorspace_in_database(document_) != 0}};
        }
        root["inks"] = inks_;
        root["paints"] = paints_;
        root["images"] = images_;
        root["components"] = components;

        std::ofstream out(jsonTemporary, std::ios::binary | std::ios::trunc);
        out << root.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
        out.close();
        if (!out) {
            throw WorkError("cannot write '" + path_ + "': " + std::strerror(errno));
        }
    }

  private:
    std::string InkId(inkt_t* ink) {
        const auto found = inkIds_.find(ink);
        if (found != inkIds_.end()) {
            return found->second;
        }
        const char* book = "";
        const char* name = "";
        INK_get_group_and_name(ink, &book, &name);
        const std::string id = inkIdSet_.Take({name, std::string(book) + "/" + name});
        inkIds_[ink] = id;

        Json entry;
        entry["id"] = id;
        if (*book != '\0') {
            entry["book"] = book;
        }
        entry["name"] = name;
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
            Json list = Json::array();
            for (const auto& kind : kKindNames) {
                if ((kinds & kind.first) != 0) {
                    list.push_back(kind.second);
                }
            }
            entry["kinds"] = list;
        }
        const char* process = nullptr;
        if (INK_is_process(ink, &process) != 0 && process != nullptr && *process != '\0') {
            entry["process"] = process;
        }
        float rgb[3] = {0.0f, 0.0f, 0.0f};
        INK_get_RGB(ink, rgb);
        entry["rgb"] = {ShortFloat(rgb[0]), ShortFloat(rgb[1]), ShortFloat(rgb[2])};
        if (ink->hasCromValues != 0) {
            entry["cromValues"] = {ShortFloat(ink->cromValues[0]), ShortFloat(ink->cromValues[1]),
                                   ShortFloat(ink->cromValues[2]), ShortFloat(ink->cromValues[3])};
        }
        if (ink->printingmethod != nullptr) {
            entry["printingMethod"] = ink->printingmethod;
        }
        if (ink->inheritedValue != 0.0) {
            entry["inheritedValue"] = ink->inheritedValue;
        }
        if (ink->attribute != 0) {
            entry["attribute"] = ink->attribute;
        }
        inks_.push_back(entry);
        return id;
    }

    Json Amounts(paint_t* paint) {
        Json list = Json::array();
        for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
            if (amount.ink == nullptr) {
                continue;
            }
            Json entry;
            entry["ink"] = InkId(amount.ink);
            entry["fraction"] = amount.fraction;
            if (amount.flags != 1) {
                entry["flags"] = amount.flags;
            }
            list.push_back(entry);
        }
        return list;
    }

    std::string PaintId(paint_t* paint) {
        const auto found = paintIds_.find(paint);
        if (found != paintIds_.end()) {
            return found->second;
        }
        const std::string id = paintIdSet_.Take({"p" + std::to_string(paintIds_.size() + 1)});
        paintIds_[paint] = id;

        Json entry;
        entry["id"] = id;
        if (PAI_get_vignet(paint) != nullptr) {
            Json steps = Json::array();
            for (paint_t* step : rdz::kelt::VignetteSteps(paint)) {
                Json stepEntry;
                stepEntry["solid"] = Amounts(step);
                if (PAI_is_registration(step) != 0) {
                    stepEntry["registration"] = true;
                }
                steps.push_back(stepEntry);
            }
            entry["vignette"] = steps;
        } else {
            entry["solid"] = Amounts(paint);
        }
        if (PAI_is_registration(paint) != 0) {
            entry["registration"] = true;
        }
        paints_.push_back(entry);
        return id;
    }

    std::string ImageId(ct_def_t* definition) {
        const auto found = imageIds_.find(definition);
        if (found != imageIds_.end()) {
            return found->second;
        }
        const std::string name = definition->name != nullptr ? definition->name : "";
        const std::string id =
            imageIdSet_.Take({name, "image-" + std::to_string(imageIds_.size() + 1)});
        imageIds_[definition] = id;

        Json entry;
        entry["id"] = id;
        if (definition->name != nullptr) {
            entry["name"] = definition->name;
        }
        Json inks = Json::array();
        for (int i = 0; i < definition->nrInks; ++i) {
            inkt_t* ink = definition->inks[i];
            inks.push_back(ink != nullptr ? Json(InkId(ink)) : Json());
        }
        entry["inks"] = inks;
        entry["width"] = definition->width;
        entry["height"] = definition->height;
        entry["params"] = {definition->ctParam1, definition->ctParam2, definition->ctParam3};
        if (definition->hasAlpha != 0) {
            entry["alpha"] = true;
        }
        if (definition->monochrome != 0) {
            entry["monochrome"] = true;
        }
        if (definition->flags != 0) {
            entry["flags"] = definition->flags;
        }
        if (rdz::kelt::IsExternal(definition)) {
            entry["external"] = true;
            CT_make_internal(definition);
        }
        cti_image_t* image = CT_internal_handle(definition);
        if (image != nullptr && definition->width > 0 && definition->height > 0 &&
            CTI_nplanes(image) > 0) {
            entry["pixels"] = WritePixels(definition, image, id);
        }
        images_.push_back(entry);
        return id;
    }

    /// Writes the image's pixels beside the document; returns the file name.
    std::string WritePixels(ct_def_t* definition, cti_image_t* image, const std::string& id) {
        const fs::path folder = fs::path(path_).parent_path();
        const std::string stem = fs::path(path_).stem().string();
        std::string fileName;
        for (int n = 1;; ++n) {
            fileName =
                stem + "." + FileNamePart(id) + (n > 1 ? "-" + std::to_string(n) : "") + ".tif";
            const std::string candidate = Canonical((folder / fileName).string());
            if (avoid_.count(candidate) == 0) {
                avoid_.insert(candidate);
                break;
            }
        }
        const std::string finalPath = (folder / fileName).string();
        const std::string temporary = outputs_.Add(finalPath);

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

    void AppendObject(Json& list, document_object_t* object) {
        const char* type = ObjectTypeName(object->kind);
        if (type == nullptr) {
            return;  // not an object a document file holds
        }
        Json entry;
        entry["type"] = type;
        if (object->name != nullptr) {
            entry["name"] = object->name;
        }
        if (object->kind == OBJ_KIND_CT_OBJECT) {
            auto* placement = static_cast<ct_object_t*>(object);
            if (placement->definition == nullptr) {
                return;
            }
            entry["image"] = ImageId(placement->definition);
            if (placement->planeMapUsed != 0 && placement->planePaints != nullptr) {
                Json paints = Json::array();
                for (int i = 0; i < placement->definition->nrInks; ++i) {
                    paint_t* paint = placement->planePaints[i];
                    paints.push_back(paint != nullptr ? Json(PaintId(paint)) : Json());
                }
                entry["planePaints"] = paints;
            }
        }
        Json attributes = Json::array();
        for (attribute_t* attribute : rdz::kelt::Attributes(object)) {
            attributes.push_back(AttributeEntry(attribute));
        }
        if (!attributes.empty()) {
            entry["attributes"] = attributes;
        }
        if (object->kind == OBJ_KIND_FORM) {
            entry["content"] = Objects(rdz::kelt::FormContent(object));
        }
        Json children = Objects(object);
        if (!children.empty()) {
            entry["children"] = children;
        }
        list.push_back(entry);
    }

    Json Objects(document_object_t* parent) {
        Json list = Json::array();
        if (parent != nullptr) {
            for (document_object_t* child : rdz::kelt::Children(parent)) {
                AppendObject(list, child);
            }
        }
        return list;
    }

    Json AttributeEntry(attribute_t* attribute) {
        Json entry = Json::object();
        paint_info_t* info = ATR_get_paint_info(attribute);
        if (info != nullptr && info->paint != nullptr) {
            entry["paint"] = PaintId(info->paint);
        }
        if (ATR_contains_alfa(attribute) != 0) {
            entry["transparent"] = true;
        }
        if (info != nullptr && info->paint != nullptr && info->transparency != nullptr &&
            info->transparency->mask != nullptr) {
            const opacity_mask_t* mask = info->transparency->mask;
            entry["opacityMask"] = {{"kind", mask->maskKind},
                                    {"content", Objects(mask->maskContent)}};
        }
        return entry;
    }

    document_object_t* document_;
    std::string path_;
    OutputFiles& outputs_;
    Progress* progress_;
    std::set<std::string> avoid_;

    std::map<inkt_t*, std::string> inkIds_;
    std::map<paint_t*, std::string> paintIds_;
    std::map<ct_def_t*, std::string> imageIds_;
    IdSet inkIdSet_;
    IdSet paintIdSet_;
    IdSet imageIdSet_;
    Json inks_ = Json::array();
    Json paints_ = Json::array();
    Json images_ = Json::array();
};

}  // namespace

void WriteDocumentFile(document_object_t* document, const std::string& path,
                       const std::string& jsonTemporary, OutputFiles& outputs,
                       const std::vector<std::string>& avoid, Progress* progress) {
    DocumentWriter(document, path, outputs, avoid, progress).Write(jsonTemporary);
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
}

}  // namespace rdz::formats
