// Reading document files (format: docs/document-format.md).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "formats/json/DocumentFile.h"
#include "formats/Errors.h"
#include "formats/Progress.h"
#include "formats/tiff/TiffFile.h"

namespace rdz::formats {
namespace {

using Json = nlohmann::json;

/// Objects nested deeper than this are refused rather than read recursively.
constexpr int kMaxDepth = 256;

std::string PointerToken(const std::string& key) {
    std::string token;
    for (char c : key) {
        if (c == '~') {
            token += "~0";
        } else if (c == '/') {
            token += "~1";
        } else {
            token += c;
        }
    }
    return token;
}

/// A value of the file with its JSON pointer, for reading with checks; every
/// check that fails throws InputError naming the file and the pointer.
class Node {
  public:
    Node(const Json& value, std::string pointer, const std::string& file)
        : value_(value), pointer_(std::move(pointer)), file_(file) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw InputError(file_ + ": " + (pointer_.empty() ? std::string("top level") : pointer_) +
                         ": " + what);
    }

    /// Checks that the value is an object whose fields are all among `keys`.
    void ExpectObject(std::initializer_list<const char*> keys) const {
        if (!value_.is_object()) {
            Fail("expected an object");
        }
        for (auto it = value_.begin(); it != value_.end(); ++it) {
            bool known = false;
            for (const char* key : keys) {
                known = known || it.key() == key;
            }
            if (!known) {
                std::string list;
                for (const char* key : keys) {
                    list += list.empty() ? "" : ", ";
                    list += key;
                }
                Field(it.key()).Fail("unknown field (known fields: " + list + ")");
            }
        }
    }

    bool Has(const char* key) const { return value_.is_object() && value_.contains(key); }
    /// The field, which must be there.
    Node operator[](const char* key) const {
        if (!Has(key)) {
            Fail(std::string("missing field \"") + key + "\"");
        }
        return Field(key);
    }
    std::size_t Size() const {
        if (!value_.is_array()) {
            Fail("expected an array");
        }
        return value_.size();
    }
    Node operator[](std::size_t index) const {
        return Node(value_[index], pointer_ + "/" + std::to_string(index), file_);
    }

    bool IsNull() const { return value_.is_null(); }
    std::string String() const {
        if (!value_.is_string()) {
            Fail("expected a text");
        }
        return value_.get<std::string>();
    }
    bool Bool() const {
        if (!value_.is_boolean()) {
            Fail("expected true or false");
        }
        return value_.get<bool>();
    }
    double Number(double low, double high) const {
        if (!value_.is_number()) {
            Fail("expected a number");
        }
        const double number = value_.get<double>();
        if (!std::isfinite(number) || number < low || number > high) {
            std::ostringstream range;
            range << "expected a number from " << low << " to " << high;
            Fail(range.str());
        }
        return number;
    }
    long long Integer(long long low, long long high) const {
        if (!value_.is_number_integer()) {
            Fail("expected a whole number");
        }
        // An unsigned value too large for a long long is out of any range asked for.
        const long long number =
            value_.is_number_unsigned()
                ? static_cast<long long>(std::min<unsigned long long>(
                      value_.get<unsigned long long>(), static_cast<unsigned long long>(high) + 1))
                : value_.get<long long>();
        if (number < low || number > high) {
            Fail("expected a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high));
        }
        return number;
    }

    /// Optional fields with their defaults.
    std::string String(const char* key, const std::string& fallback) const {
        return Has(key) ? Field(key).String() : fallback;
    }
    bool Bool(const char* key, bool fallback) const {
        return Has(key) ? Field(key).Bool() : fallback;
    }

  private:
    Node Field(const std::string& key) const {
        return Node(value_[key], pointer_ + "/" + PointerToken(key), file_);
    }

    const Json& value_;
    std::string pointer_;
    const std::string& file_;
};

/// "<file>:<line>:<column>: invalid JSON: <reason>" for a syntax error.
[[noreturn]] void FailSyntax(const std::string& file, const std::string& text,
                             const Json::parse_error& error) {
    const std::size_t end = std::min<std::size_t>(error.byte > 0 ? error.byte - 1 : 0, text.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    std::string reason = error.what();
    const std::size_t column = reason.find("column ");
    const std::size_t colon = reason.find(": ", column == std::string::npos ? 0 : column);
    if (colon != std::string::npos) {
        reason = reason.substr(colon + 2);
    }
    throw InputError(file + ":" + std::to_string(line) + ":" + std::to_string(end - lineStart + 1) +
                     ": invalid JSON: " + reason);
}

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

struct KindName {
    const char* name;
    unsigned kind;
};
constexpr KindName kInkKinds[] = {
    {"process", rdz::kelt::InkProcess},           {"opaque", rdz::kelt::InkOpaque},
    {"technical", rdz::kelt::InkTechnical},       {"varnish", rdz::kelt::InkVarnish},
    {"unregistered", rdz::kelt::InkUnregistered}, {"registration", rdz::kelt::InkRegistration},
};

class DocumentReader {
  public:
    DocumentReader(const std::string& path, Progress* progress)
        : path_(path), progress_(progress) {}

    LoadedDocumentFile Read() {
        const std::string text = ReadText();
        Json root;
        try {
            root = Json::parse(text);
        } catch (const Json::parse_error& error) {
            FailSyntax(path_, text, error);
        } catch (const Json::out_of_range& error) {
            // A number too large for a double ("1e999"): nlohmann reports it
            // from the parser, but not as a parse_error.
            std::string what = error.what();
            const std::size_t bracket = what.find("] ");
            throw InputError(path_ + ": invalid JSON: " +
                             (bracket == std::string::npos ? what : what.substr(bracket + 2)));
        }
        const Node top(root, "", path_);
        top.ExpectObject(
            {"format", "version", "name", "colorSpace", "inks", "paints", "images", "components"});
        if (top.Has("format") && top["format"].String() != "rodadazerivo-document") {
            top["format"].Fail("expected \"rodadazerivo-document\"");
        }
        if (top.Has("version")) {
            top["version"].Integer(1, 1);
        }
        const std::string name = top.String("name", std::filesystem::path(path_).stem().string());
        result_.document.reset(rdz::kelt::NewDocument(name.c_str()));
        document_ = result_.document.get();

        if (top.Has("colorSpace") && !top["colorSpace"].IsNull()) {
            const Node space = top["colorSpace"];
            space.ExpectObject({"name", "inDatabase"});
            rdz::kelt::SetColorSpace(document_, space["name"].String().c_str(),
                                     space.Bool("inDatabase", true));
        }
        if (top.Has("inks")) {
            const Node list = top["inks"];
            for (std::size_t i = 0; i < list.Size(); ++i) {
                ReadInk(list[i]);
            }
        }
        if (top.Has("paints")) {
            const Node list = top["paints"];
            for (std::size_t i = 0; i < list.Size(); ++i) {
                ReadPaint(list[i]);
            }
        }
        if (top.Has("images")) {
            const Node list = top["images"];
            for (std::size_t i = 0; i < list.Size(); ++i) {
                ReadImage(list[i]);
            }
        }
        if (top.Has("components")) {
            ReadObjects(top["components"], document_, 0);
        }
        return std::move(result_);
    }

  private:
    std::string ReadText() {
        std::error_code ec;
        if (std::filesystem::is_directory(path_, ec)) {
            throw InputError(path_ + ": is a folder, not a document file");
        }
        std::ifstream in(path_, std::ios::binary);
        if (!in) {
            throw InputError(path_ + ": cannot open: " + std::strerror(errno));
        }
        std::ostringstream text;
        text << in.rdbuf();
        if (in.bad()) {
            throw InputError(path_ + ": cannot read: " + std::strerror(errno));
        }
        return text.str();
    }

    /// Reads the "id" field and checks that no other entry of `ids` has it.
    template <typename T>
    std::string NewId(const Node& node, const std::map<std::string, T>& ids) {
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
    T Lookup(const Node& node, const std::map<std::string, T>& ids, const char* what) {
        const std::string id = node.String();
        const auto it = ids.find(id);
        if (it == ids.end()) {
            node.Fail(std::string("no ") + what + " has the id \"" + id + "\"");
        }
        return it->second;
    }

    void ReadInk(const Node& node) {
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
        const std::size_t before = rdz::kelt::InkCount(document_);
        inkt_t* ink = rdz::kelt::AddInk(document_, setup);
        if (ink == nullptr || rdz::kelt::InkCount(document_) == before) {
            node["name"].Fail("the document already has an ink \"" + setup.name + "\" of book \"" +
                              setup.book + "\" (names are compared ignoring case)");
        }
        inks_[id] = ink;
    }

    static void CheckNameLength(const Node& node, const char* field, const std::string& text,
                                const char* what) {
        if (text.size() > kMaxInkNameBytes) {
            node[field].Fail(std::string(what) + " holds at most " +
                             std::to_string(kMaxInkNameBytes) + " bytes; this one has " +
                             std::to_string(text.size()));
        }
    }

    void ReadNumbers(const Node& node, float* out, std::size_t count) {
        if (node.Size() != count) {
            node.Fail("expected " + std::to_string(count) + " numbers from 0 to 1");
        }
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = static_cast<float>(node[i].Number(0.0, 1.0));
        }
    }

    std::vector<rdz::kelt::Amount> ReadAmounts(const Node& list) {
        std::vector<rdz::kelt::Amount> amounts;
        for (std::size_t i = 0; i < list.Size(); ++i) {
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

    void ReadPaint(const Node& node) {
        node.ExpectObject({"id", "solid", "vignette", "registration"});
        const std::string id = NewId(node, paints_);
        const bool registration = node.Bool("registration", false);
        paint_t* paint = nullptr;
        if (node.Has("solid") == node.Has("vignette")) {
            node.Fail("a paint has either \"solid\" or \"vignette\"");
        }
        if (node.Has("solid")) {
            paint = rdz::kelt::AddSolid(document_, ReadAmounts(node["solid"]), registration);
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
            paint = rdz::kelt::AddVignette(document_, makeUps);
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
        paints_[id] = paint;
    }

    void ReadImage(const Node& node) {
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
                setup.params[i] =
                    static_cast<int>(params[i].Integer(-2147483647LL - 1, 2147483647LL));
            }
        }
        setup.alpha = node.Bool("alpha", false);
        setup.monochrome = node.Bool("monochrome", false);
        if (node.Has("flags")) {
            setup.flags = static_cast<unsigned int>(node["flags"].Integer(0, 0xFFFFFFFFLL));
        }
        setup.internal = !node.Bool("external", false);
        const int planes = static_cast<int>(setup.inks.size()) + (setup.alpha ? 1 : 0);
        if (setup.width > 0 && setup.height > 0 && planes > 0 &&
            ImageBytes(setup.width, setup.height, planes) == 0) {
            node.Fail("the image is too large");
        }

        std::unique_ptr<TiffReader> reader;
        std::string pixelFile;
        if (node.Has("pixels")) {
            const Node pixels = node["pixels"];
            pixelFile = pixels.String();
            std::filesystem::path file(pixelFile);
            if (file.is_relative()) {
                file = std::filesystem::path(path_).parent_path() / file;
            }
            pixelFile = file.string();
            reader = OpenPixels(pixels, pixelFile, setup.width, setup.height, planes);
            result_.pixelFiles.push_back(pixelFile);
        }
        // External pixels are handed over whole; internal ones are read
        // straight into the pixel image, row by row.
        if (!setup.internal && reader) {
            const std::size_t rowBytes = static_cast<std::size_t>(setup.width) * planes;
            setup.pixels.resize(rowBytes * static_cast<std::size_t>(setup.height));
            ReadPixels(*reader, pixelFile, planes, [&](int row, const std::uint8_t* samples) {
                std::memcpy(setup.pixels.data() + rowBytes * static_cast<std::size_t>(row), samples,
                            rowBytes);
            });
        }
        ct_def_t* definition = rdz::kelt::AddImageDefinition(document_, setup);
        if (definition == nullptr) {
            node.Fail("the image cannot be made (size or pixels)");
        }
        if (node.Has("name")) {
            LAY_set_name(definition, node["name"].String().c_str());
        }
        if (setup.internal && reader) {
            cti_image_t* image = CT_internal_handle(definition);
            ReadPixels(*reader, pixelFile, planes, [&](int row, const std::uint8_t* samples) {
                CTI_putrow_line_il(image, samples, row, 0, 0);
            });
        }
        images_[id] = definition;
    }

    std::unique_ptr<TiffReader> OpenPixels(const Node& node, const std::string& file, int width,
                                           int height, int planes) {
        auto reader = std::make_unique<TiffReader>();
        std::string error;
        if (!reader->Open(file, &error)) {
            throw InputError(file + ": " + error + " (the pixels of " + path_ + ", " +
                             node.String() + ")");
        }
        const TiffLayout& layout = reader->Layout();
        if (layout.width != width || layout.height != height || layout.samplesPerPixel != planes) {
            node.Fail("\"" + file + "\" holds " + std::to_string(layout.width) + " x " +
                      std::to_string(layout.height) + " pixels of " +
                      std::to_string(layout.samplesPerPixel) + " samples; the image needs " +
                      std::to_string(width) + " x " + std::to_string(height) + " pixels of " +
                      std::to_string(planes) + " samples (its inks, then alpha)");
        }
        return reader;
    }

    template <typename Sink>
    void ReadPixels(TiffReader& reader, const std::string& file, int planes, Sink sink) {
        std::vector<int> planeOf(static_cast<std::size_t>(planes));
        for (int p = 0; p < planes; ++p) {
            planeOf[static_cast<std::size_t>(p)] = p;
        }
        const std::string label = "Reading " + std::filesystem::path(file).filename().string();
        const int height = reader.Layout().height;
        std::string error;
        const bool read = reader.ReadRows(
            planeOf,
            [&](int row, const std::uint8_t* samples) {
                sink(row, samples);
                if (progress_ != nullptr) {
                    progress_->Show(label, static_cast<std::uint64_t>(row) + 1,
                                    static_cast<std::uint64_t>(height));
                }
                return true;
            },
            &error);
        if (progress_ != nullptr) {
            progress_->Clear();
        }
        if (!read) {
            throw InputError(file + ": " + error);
        }
    }

    void ReadObjects(const Node& list, document_object_t* parent, int depth) {
        if (depth > kMaxDepth) {
            list.Fail("objects are nested too deeply");
        }
        for (std::size_t i = 0; i < list.Size(); ++i) {
            ReadObject(list[i], parent, depth);
        }
    }

    void ReadObject(const Node& node, document_object_t* parent, int depth) {
        if (!node.Has("type") && depth > 0) {
            node.Fail("missing field \"type\"");
        }
        const std::string type = node.String("type", "component");
        const ObjectType* found = nullptr;
        for (const ObjectType& known : kObjectTypes) {
            found = type == known.name ? &known : found;
        }
        if (found == nullptr) {
            node["type"].Fail("unknown object type \"" + type +
                              "\" (component, layer, group, path, image, container, form)");
        }
        const std::string name = node.String("name", "");
        const char* namePtr = node.Has("name") ? name.c_str() : nullptr;
        document_object_t* object = nullptr;
        if (found->kind == OBJ_KIND_CT_OBJECT) {
            node.ExpectObject({"type", "name", "attributes", "children", "image", "planePaints"});
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
            node.ExpectObject({"type", "name", "attributes", "children", "content"});
            object = rdz::kelt::AddForm(parent, namePtr);
            if (node.Has("content")) {
                ReadObjects(node["content"], rdz::kelt::FormContent(object), depth + 1);
            }
        } else {
            node.ExpectObject({"type", "name", "attributes", "children"});
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
    }

    void ReadAttribute(const Node& node, document_object_t* object, int depth) {
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
        const int kind =
            mask.Has("kind")
                ? static_cast<int>(mask["kind"].Integer(-2147483647LL - 1, 2147483647LL))
                : 22;
        document_object_t* content = rdz::kelt::AddOpacityMask(attribute, kind);
        if (mask.Has("content")) {
            ReadObjects(mask["content"], content, depth + 1);
        }
    }

    std::string path_;
    Progress* progress_;
    LoadedDocumentFile result_;
    document_object_t* document_ = nullptr;
    std::map<std::string, inkt_t*> inks_;
    std::map<std::string, paint_t*> paints_;
    std::map<std::string, ct_def_t*> images_;
};

}  // namespace

LoadedDocumentFile ReadDocumentFile(const std::string& path, Progress* progress) {
    return DocumentReader(path, progress).Read();
}

}  // namespace rdz::formats
