// Document entries into the document database (format: docs/document-format.md).
#include "formats/json/DocumentContent.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "formats/Progress.h"
#include "formats/tiff/TiffFile.h"

#include "platform/kelt/kelt_builder.h"

namespace rdz::formats::json {
namespace {

namespace fs = std::filesystem;

struct ObjectType {
    const char* name;
    obj_kind_t kind;
};
constexpr ObjectType kObjectTypes[] = {
    {"component", OBJ_KIND_COMPONENT}, {"layer", OBJ_KIND_LAYER},
    {"group", OBJ_KIND_GROUP},         {"path", OBJ_KIND_PATH},
    {"image", OBJ_KIND_CT_OBJECT},     {"container", OBJ_KIND_CONTAINER},
    {"form", OBJ_KIND_FORM},
};

const ObjectType* FindObjectType(const std::string& name) {
    for (const ObjectType& known : kObjectTypes) {
        if (name == known.name) {
            return &known;
        }
    }
    return nullptr;
}

struct KindName {
    const char* name;
    unsigned kind;
};
constexpr KindName kInkKinds[] = {
    {"process", rdz::kelt::InkProcess},           {"opaque", rdz::kelt::InkOpaque},
    {"technical", rdz::kelt::InkTechnical},       {"varnish", rdz::kelt::InkVarnish},
    {"unregistered", rdz::kelt::InkUnregistered}, {"registration", rdz::kelt::InkRegistration},
};

const char* FileKind(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a pipe (FIFO)";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

/// Whether `path` lies inside `folder` (both canonical).
bool Inside(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) {
            continue;  // a trailing separator
        }
        if (p == path.end() || *p != *f) {
            return false;
        }
    }
    return true;
}

template <typename Sink>
void ReadPixels(TiffReader& reader, const std::string& file, int planes, Progress* progress,
                Sink sink) {
    std::vector<int> planeOf(static_cast<std::size_t>(planes));
    for (int p = 0; p < planes; ++p) {
        planeOf[static_cast<std::size_t>(p)] = p;
    }
    const std::string label = "Reading " + fs::path(file).filename().string();
    const int height = reader.Layout().height;
    std::string error;
    const bool read = reader.ReadRows(
        planeOf,
        [&](int row, const std::uint8_t* samples) {
            sink(row, samples);
            if (progress != nullptr) {
                progress->Show(label, static_cast<std::uint64_t>(row) + 1,
                               static_cast<std::uint64_t>(height));
            }
            return true;
        },
        &error);
    if (progress != nullptr) {
        progress->Clear();
    }
    if (!read) {
        throw InputError(file + ": " + error);
    }
}

}  // namespace

bool ObjectKindOf(const std::string& type, obj_kind_t* kind) {
    const ObjectType* found = FindObjectType(type);
    if (found != nullptr) {
        *kind = found->kind;
    }
    return found != nullptr;
}

const std::initializer_list<const char*> kImageObjectFields = {"type",     "name",  "attributes",
                                                               "children", "image", "planePaints"};
const std::initializer_list<const char*> kFormObjectFields = {"type", "name", "attributes",
                                                              "children", "content"};
const std::initializer_list<const char*> kPlainObjectFields = {"type", "name", "attributes",
                                                               "children"};
const std::initializer_list<const char*> kTopFields = {"format", "version", "name",   "colorSpace",
                                                       "inks",   "paints",  "images", "components"};

DocumentContent::DocumentContent(const std::string& path, const DocumentReadOptions& options)
    : path_(path), options_(options) {}

document_object_t* DocumentContent::Document() {
    if (document_ == nullptr) {
        const std::string name = fs::path(path_).stem().string();
        result_.document.reset(rdz::kelt::NewDocument(name.c_str()));
        document_ = result_.document.get();
    }
    return document_;
}

LoadedDocumentFile DocumentContent::Take() {
    Document();
    return std::move(result_);
}

void DocumentContent::ReadFormat(const Node& node) {
    if (node.String() != "rodadazerivo-document") {
        node.Fail("expected \"rodadazerivo-document\"");
    }
}

void DocumentContent::ReadVersion(const Node& node) {
    node.Integer(1, 1);
}

void DocumentContent::ReadName(const Node& node) {
    LAY_set_name(Document(), node.String().c_str());
}

void DocumentContent::ReadColorSpace(const Node& node) {
    if (node.IsNull()) {
        return;
    }
    node.ExpectObject({"name", "inDatabase"});
    rdz::kelt::SetColorSpace(Document(), node["name"].String().c_str(),
                             node.Bool("inDatabase", true));
}

template <typename T>
std::string DocumentContent::NewId(const Node& node,
                                   const std::unordered_map<std::string, T>& ids) {
    const Node idNode = node["id"];
    std::string id = idNode.String();
    if (id.empty()) {
        idNode.Fail("an id must not be empty");
    }
    if (ids.count(id) != 0) {
        idNode.Fail("the id \"" + id + "\" is used twice");
    }
    return id;
}

template <typename T>
T DocumentContent::Lookup(const Node& node, const std::unordered_map<std::string, T>& ids,
                          const char* what) {
    const std::string id = node.String();
    const auto it = ids.find(id);
    if (it == ids.end()) {
        node.Fail(std::string("no ") + what + " has the id \"" + id + "\"");
    }
    return it->second;
}

void DocumentContent::CheckNameLength(const Node& node, const char* field, const std::string& text,
                                      const char* what) {
    if (text.size() > kMaxInkNameBytes) {
        node[field].Fail(std::string(what) + " holds at most " + std::to_string(kMaxInkNameBytes) +
                         " bytes; this one has " + std::to_string(text.size()));
    }
}

void DocumentContent::ReadInk(const Node& node) {
    node.ExpectObject({"id", "book", "name", "kinds", "process", "rgb", "cromValues",
                       "printingMethod", "inheritedValue", "attribute"});
    const std::string id = NewId(node, inks_);
    rdz::kelt::InkSetup setup;
    setup.book = node.String("book", "");
    setup.name = node["name"].String();
    if (setup.name.empty()) {
        node["name"].Fail("an ink name must not be empty");
    }
    CheckNameLength(node, "book", setup.book, "a book name");
    CheckNameLength(node, "name", setup.name, "an ink name");
    if (node.Has("kinds")) {
        const Node kinds = node["kinds"];
        for (std::size_t k = 0; k < kinds.Size(); ++k) {
            const std::string kind = kinds[k].String();
            unsigned flag = 0;
            for (const KindName& known : kInkKinds) {
                flag = kind == known.name ? known.kind : flag;
            }
            if (flag == 0) {
                kinds[k].Fail("unknown ink kind \"" + kind +
                              "\" (process, opaque, technical, varnish, unregistered, "
                              "registration)");
            }
            setup.kinds |= flag;
        }
    }
    setup.process = node.String("process", "");
    if (node.Has("rgb")) {
        ReadNumbers(node["rgb"], setup.rgb, 3);
    }
    if (node.Has("cromValues")) {
        setup.hasCromValues = true;
        ReadNumbers(node["cromValues"], setup.cromValues, 4);
    }
    setup.printingMethod = node.String("printingMethod", "");
    if (node.Has("inheritedValue")) {
        setup.inheritedValue = node["inheritedValue"].Number(-1e300, 1e300);
    }
    if (node.Has("attribute")) {
        setup.attribute = static_cast<unsigned char>(node["attribute"].Integer(0, 255));
    }
    document_object_t* document = Document();
    const std::size_t before = rdz::kelt::InkCount(document);
    inkt_t* ink = rdz::kelt::AddInk(document, setup);
    if (ink == nullptr || rdz::kelt::InkCount(document) == before) {
        node["name"].Fail("the document already has an ink \"" + setup.name + "\" of book \"" +
                          setup.book + "\" (names are compared ignoring case)");
    }
    inks_[id] = ink;
}

void DocumentContent::ReadNumbers(const Node& node, float* out, std::size_t count) {
    if (node.Size() != count) {
        node.Fail("expected " + std::to_string(count) + " numbers from 0 to 1");
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<float>(node[i].Number(0.0, 1.0));
    }
}

std::vector<rdz::kelt::Amount> DocumentContent::ReadAmounts(const Node& list) {
    std::vector<rdz::kelt::Amount> amounts;
    const std::size_t size = list.Size();
    amounts.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        const Node amount = list[i];
        amount.ExpectObject({"ink", "fraction", "flags"});
        rdz::kelt::Amount entry;
        entry.ink = Lookup(amount["ink"], inks_, "ink");
        entry.fraction = amount["fraction"].Number(0.0, 1.0);
        if (amount.Has("flags")) {
            entry.flags =
                static_cast<int>(amount["flags"].Integer(-2147483647LL - 1, 2147483647LL));
        }
        amounts.push_back(entry);
    }
    return amounts;
}

void DocumentContent::ReadPaint(const Node& node) {
    node.ExpectObject({"id", "solid", "vignette", "registration"});
    const std::string id = NewId(node, paints_);
    const bool registration = node.Bool("registration", false);
    paint_t* paint = nullptr;
    if (node.Has("solid") == node.Has("vignette")) {
        node.Fail("a paint has either \"solid\" or \"vignette\"");
    }
    document_object_t* document = Document();
    if (node.Has("solid")) {
        paint = rdz::kelt::AddSolid(document, ReadAmounts(node["solid"]), registration);
    } else {
        const Node steps = node["vignette"];
        std::vector<std::vector<rdz::kelt::Amount>> makeUps;
        std::vector<bool> stepRegistration;
        for (std::size_t i = 0; i < steps.Size(); ++i) {
            const Node step = steps[i];
            step.ExpectObject({"solid", "registration"});
            makeUps.push_back(ReadAmounts(step["solid"]));
            stepRegistration.push_back(step.Bool("registration", false));
        }
        paint = rdz::kelt::AddVignette(document, makeUps);
        const std::vector<paint_t*> made = rdz::kelt::VignetteSteps(paint);
        for (std::size_t i = 0; i < made.size() && i < stepRegistration.size(); ++i) {
            if (stepRegistration[i]) {
                PAI_set_registration(made[i], 1);
            }
        }
        if (registration) {
            PAI_set_registration(paint, 1);
        }
    }
    paints_.emplace(id, paint);
}

std::string DocumentContent::PixelFile(const Node& node) {
    const std::string given = node.String();
    const fs::path folder = fs::path(path_).parent_path();
    fs::path file(given);
    if (!options_.allowOutsidePaths) {
        if (file.is_absolute()) {
            node.Fail("\"" + given +
                      "\" is an absolute path; pixel files are read from the document's folder "
                      "(--allow-outside-paths allows others)");
        }
        const fs::path normal = file.lexically_normal();
        if (!normal.empty() && *normal.begin() == "..") {
            node.Fail("\"" + given +
                      "\" leaves the document's folder; pixel files are read from inside it "
                      "(--allow-outside-paths allows others)");
        }
    }
    if (file.is_relative()) {
        file = folder / file;
    }
    const std::string resolved = file.string();
    struct stat info;
    if (::stat(resolved.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            node.Fail("\"" + resolved + "\" is " + FileKind(info.st_mode) +
                      ", not a pixel file (a TIFF file)");
        }
        if (!options_.allowOutsidePaths) {
            // A link inside the folder that leads out of it counts as outside.
            std::error_code ec;
            const fs::path real = fs::canonical(file, ec);
            const fs::path base = fs::canonical(folder.empty() ? fs::path(".") : folder, ec);
            if (!ec && !Inside(real, base)) {
                node.Fail("\"" + given + "\" leads out of the document's folder (to " +
                          real.string() +
                          "); pixel files are read from inside it (--allow-outside-paths allows "
                          "others)");
            }
        }
    }
    return resolved;
}

void DocumentContent::ReserveImageMemory(const Node& node, std::uint64_t bytes,
                                         const std::string& what) {
    // The one place where this reader asks for an image's pixel memory: the
    // run's memory budget is checked here, before any is allocated.
    try {
        rdz::kelt::ReserveImageMemory(bytes, what);
    } catch (const rdz::kelt::MemoryBudgetExceeded& error) {
        node.Fail(error.what());
    }
}

void DocumentContent::ReadImage(const Node& node) {
    node.ExpectObject({"id", "name", "inks", "width", "height", "params", "alpha", "monochrome",
                       "flags", "external", "pixels"});
    const std::string id = NewId(node, images_);
    rdz::kelt::ImageSetup setup;
    const Node inkList = node["inks"];
    for (std::size_t i = 0; i < inkList.Size(); ++i) {
        setup.inks.push_back(inkList[i].IsNull() ? nullptr : Lookup(inkList[i], inks_, "ink"));
    }
    setup.width = static_cast<int>(node["width"].Integer(0, 0x7FFFFFFF));
    setup.height = static_cast<int>(node["height"].Integer(0, 0x7FFFFFFF));
    if (node.Has("params")) {
        const Node params = node["params"];
        if (params.Size() != 3) {
            params.Fail("expected 3 whole numbers");
        }
        for (std::size_t i = 0; i < 3; ++i) {
            setup.params[i] = static_cast<int>(params[i].Integer(-2147483647LL - 1, 2147483647LL));
        }
    }
    setup.alpha = node.Bool("alpha", false);
    setup.monochrome = node.Bool("monochrome", false);
    if (node.Has("flags")) {
        setup.flags = static_cast<unsigned int>(node["flags"].Integer(0, 0xFFFFFFFFLL));
    }
    setup.internal = !node.Bool("external", false);
    const int planes = static_cast<int>(setup.inks.size()) + (setup.alpha ? 1 : 0);
    const std::uint64_t bytes = setup.width > 0 && setup.height > 0 && planes > 0
                                    ? ImageBytes(setup.width, setup.height, planes)
                                    : 0;
    if (setup.width > 0 && setup.height > 0 && planes > 0 && bytes == 0) {
        node.Fail("the image is too large");
    }

    std::unique_ptr<TiffReader> reader;
    std::string pixelFile;
    if (node.Has("pixels")) {
        const Node pixels = node["pixels"];
        pixelFile = PixelFile(pixels);
        reader = std::make_unique<TiffReader>();
        std::string error;
        if (!reader->Open(pixelFile, &error)) {
            throw InputError(pixelFile + ": " + error + " (the pixels of " + path_ + ", " +
                             pixels.String() + ")");
        }
        const TiffLayout& layout = reader->Layout();
        if (layout.width != setup.width || layout.height != setup.height ||
            layout.samplesPerPixel != planes) {
            pixels.Fail("\"" + pixelFile + "\" holds " + std::to_string(layout.width) + " x " +
                        std::to_string(layout.height) + " pixels of " +
                        std::to_string(layout.samplesPerPixel) + " samples; the image needs " +
                        std::to_string(setup.width) + " x " + std::to_string(setup.height) +
                        " pixels of " + std::to_string(planes) + " samples (its inks, then alpha)");
        }
        result_.pixelFiles.push_back(pixelFile);
    }
    // External pixels are handed over whole, reserved here; internal ones
    // are read straight into the pixel image, row by row, which the
    // document database reserves when it makes the image.
    ct_def_t* definition = nullptr;
    const bool internal = setup.internal;
    if (!internal && reader) {
        ReserveImageMemory(node, bytes,
                           "the image \"" + id + "\" of " + path_ + " (" +
                               std::to_string(setup.width) + " x " + std::to_string(setup.height) +
                               " pixels, " + std::to_string(planes) + " planes)");
        const std::size_t rowBytes = static_cast<std::size_t>(setup.width) * planes;
        setup.pixels.resize(rowBytes * static_cast<std::size_t>(setup.height));
        ReadPixels(*reader, pixelFile, planes, options_.progress,
                   [&](int row, const std::uint8_t* samples) {
                       std::memcpy(setup.pixels.data() + rowBytes * static_cast<std::size_t>(row),
                                   samples, rowBytes);
                   });
        definition = rdz::kelt::AddImageDefinition(Document(), std::move(setup), true);
    } else {
        try {
            definition = rdz::kelt::AddImageDefinition(Document(), std::move(setup));
        } catch (const rdz::kelt::MemoryBudgetExceeded& error) {
            node.Fail(error.what());
        }
    }
    if (definition == nullptr) {
        node.Fail("the image cannot be made (size or pixels)");
    }
    if (node.Has("name")) {
        LAY_set_name(definition, node["name"].String().c_str());
    }
    if (internal && reader) {
        cti_image_t* image = CT_internal_handle(definition);
        ReadPixels(*reader, pixelFile, planes, options_.progress,
                   [&](int row, const std::uint8_t* samples) {
                       CTI_putrow_line_il(image, samples, row, 0, 0);
                   });
    }
    images_[id] = definition;
}

void DocumentContent::CheckDepth(const Node& list, int depth) {
    if (depth > kMaxDepth) {
        list.Fail("objects are nested too deeply");
    }
}

void DocumentContent::ReadObjects(const Node& list, document_object_t* parent, int depth) {
    CheckDepth(list, depth);
    for (std::size_t i = 0; i < list.Size(); ++i) {
        ReadObject(list[i], parent, depth);
    }
}

document_object_t* DocumentContent::ReadObject(const Node& node, document_object_t* parent,
                                               int depth) {
    if (!node.Has("type") && depth > 0) {
        node.Fail("missing field \"type\"");
    }
    const std::string type = node.String("type", "component");
    const ObjectType* found = FindObjectType(type);
    if (found == nullptr) {
        node["type"].Fail("unknown object type \"" + type +
                          "\" (component, layer, group, path, image, container, form)");
    }
    const std::string name = node.String("name", "");
    const char* namePtr = node.Has("name") ? name.c_str() : nullptr;
    document_object_t* object = nullptr;
    if (found->kind == OBJ_KIND_CT_OBJECT) {
        node.ExpectObject(kImageObjectFields);
        ct_def_t* definition = Lookup(node["image"], images_, "image");
        std::vector<paint_t*> planePaints;
        if (node.Has("planePaints")) {
            const Node list = node["planePaints"];
            if (static_cast<int>(list.Size()) != definition->nrInks) {
                list.Fail("expected one paint (or null) per ink of the image (" +
                          std::to_string(definition->nrInks) + ")");
            }
            for (std::size_t i = 0; i < list.Size(); ++i) {
                planePaints.push_back(list[i].IsNull() ? nullptr
                                                       : Lookup(list[i], paints_, "paint"));
            }
        }
        object = rdz::kelt::AddImagePlacement(parent, definition, planePaints);
        if (object != nullptr && namePtr != nullptr) {
            LAY_set_name(object, namePtr);
        }
    } else if (found->kind == OBJ_KIND_FORM) {
        node.ExpectObject(kFormObjectFields);
        object = rdz::kelt::AddForm(parent, namePtr);
        if (object != nullptr && node.Has("content")) {
            ReadObjects(node["content"], rdz::kelt::FormContent(object), depth + 1);
        }
    } else {
        node.ExpectObject(kPlainObjectFields);
        object = rdz::kelt::AddObject(parent, found->kind, namePtr);
    }
    if (object == nullptr) {
        node.Fail("the object cannot be made here");
    }
    if (node.Has("attributes")) {
        const Node list = node["attributes"];
        for (std::size_t i = 0; i < list.Size(); ++i) {
            ReadAttribute(list[i], object, depth);
        }
    }
    if (node.Has("children")) {
        ReadObjects(node["children"], object, depth + 1);
    }
    return object;
}

void DocumentContent::ReadLateField(const std::string& key, const Node& value,
                                    document_object_t* object, int depth) {
    if (key == "name") {
        LAY_set_name(object, value.String().c_str());
    } else if (key == "attributes") {
        for (std::size_t i = 0; i < value.Size(); ++i) {
            ReadAttribute(value[i], object, depth);
        }
    } else if (key == "children") {
        ReadObjects(value, object, depth + 1);
    } else if (key == "content") {
        ReadObjects(value, rdz::kelt::FormContent(object), depth + 1);
    } else if (key == "type") {
        // Only a top-level object is made before its type is known (it is a
        // component unless it says otherwise).
        if (value.String() != "component") {
            value.Fail("the type of a top-level object must come before its children");
        }
    }
}

void DocumentContent::ReadAttribute(const Node& node, document_object_t* object, int depth) {
    node.ExpectObject({"paint", "transparent", "opacityMask"});
    paint_t* paint = nullptr;
    if (node.Has("paint") && !node["paint"].IsNull()) {
        paint = Lookup(node["paint"], paints_, "paint");
    }
    attribute_t* attribute =
        rdz::kelt::AddAttribute(object, paint, node.Bool("transparent", false));
    if (!node.Has("opacityMask") || node["opacityMask"].IsNull()) {
        return;
    }
    const Node mask = node["opacityMask"];
    mask.ExpectObject({"kind", "content"});
    if (paint == nullptr) {
        mask.Fail("an opacity mask belongs to an attribute with a paint");
    }
    const int kind = mask.Has("kind")
                         ? static_cast<int>(mask["kind"].Integer(-2147483647LL - 1, 2147483647LL))
                         : 22;
    document_object_t* content = rdz::kelt::AddOpacityMask(attribute, kind);
    if (mask.Has("content")) {
        ReadObjects(mask["content"], content, depth + 1);
    }
}

}  // namespace rdz::formats::json
