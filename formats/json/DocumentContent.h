// The entries of a document file made into a document of the document
// database, one entry at a time (an ink, a paint, an image definition, an
// object with or without its children), so that a reader can hand them over
// as it meets them in the file. Entries refer to entries read before them.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "formats/DocumentFormat.h"
#include "formats/json/DocumentFile.h"
#include "formats/json/EventLog.h"
#include "formats/json/JsonNode.h"

namespace rdz::formats::json {

/// The kind of object the type name `type` stands for; false for an unknown
/// name.
bool ObjectKindOf(const std::string& type, obj_kind_t* kind);

/// The fields of an object of each type.
extern const std::initializer_list<const char*> kImageObjectFields;
extern const std::initializer_list<const char*> kFormObjectFields;
extern const std::initializer_list<const char*> kPlainObjectFields;
/// The fields of the top level.
extern const std::initializer_list<const char*> kTopFields;

class DocumentContent {
  public:
    /// `path`: the document file (for messages and to find pixel files).
    DocumentContent(const std::string& path, const DocumentReadOptions& options);

    const std::string& Path() const { return path_; }
    /// The document, made (and made TheDoc) at the first call; named after
    /// the file until SetName.
    document_object_t* Document();
    LoadedDocumentFile Take();

    // The top level's fields.
    void ReadFormat(const Node& node);
    void ReadVersion(const Node& node);
    void ReadName(const Node& node);
    void ReadColorSpace(const Node& node);

    // The entries of the arrays "inks", "paints", "images".
    void ReadInk(const Node& node);
    void ReadPaint(const Node& node);
    void ReadImage(const Node& node);

    /// Reads a whole array of objects below `parent`, `depth` deep.
    void ReadObjects(const Node& list, document_object_t* parent, int depth);
    /// Makes the object `node` describes below `parent` with everything
    /// `node` holds (attributes, content, children); returns it.
    document_object_t* ReadObject(const Node& node, document_object_t* parent, int depth);
    /// A field of an object met after the object was made (its children
    /// were read as they came): name, attributes, children, content, or a
    /// type that must agree with the one the object was made with.
    void ReadLateField(const std::string& key, const Node& value, document_object_t* object,
                       int depth);
    /// Objects nested deeper than this are refused rather than read
    /// recursively.
    static constexpr int kMaxDepth = 256;
    /// Fails at `list` when objects `depth` deep are too deep.
    static void CheckDepth(const Node& list, int depth);

    /// The type that the fields of an object read so far (`fields`: the
    /// object begun, then field names and values) name, when it is one an
    /// object may be made of before its children are read; "" otherwise.
    static std::string StreamableType(const EventLog& fields, int depth);

    // Fast readings of the common shapes, straight from their events. Each
    // reads nothing and returns false (null) where anything differs from
    // that shape or a check would fail; the caller then reads the entry
    // with the functions above, which say what is wrong.
    /// A paint that is a solid of ink amounts.
    bool ReadPaintFast(const EventLog& log);
    /// An object of a plain type (not an image or form) whose fields are
    /// type, name and attributes without opacity masks (`fields` as for
    /// StreamableType).
    document_object_t* ReadObjectFast(const EventLog& fields, document_object_t* parent, int depth);

  private:
    template <typename T>
    std::string NewId(const Node& node, const std::unordered_map<std::string, T>& ids);
    template <typename T>
    T Lookup(const Node& node, const std::unordered_map<std::string, T>& ids, const char* what);
    static void CheckNameLength(const Node& node, const char* field, const std::string& text,
                                const char* what);
    void ReadNumbers(const Node& node, float* out, std::size_t count);
    std::vector<rdz::kelt::Amount> ReadAmounts(const Node& list);
    void ReadAttribute(const Node& node, document_object_t* object, int depth);
    std::string PixelFile(const Node& node);
    void ReserveImageMemory(const Node& node, std::uint64_t bytes, const std::string& what);

    std::string path_;
    DocumentReadOptions options_;
    LoadedDocumentFile result_;
    document_object_t* document_ = nullptr;
    std::unordered_map<std::string, inkt_t*> inks_;
    std::unordered_map<std::string, paint_t*> paints_;
    std::unordered_map<std::string, ct_def_t*> images_;
    // Reused by the fast readings.
    std::string scratch_;
    std::vector<rdz::kelt::Amount> amounts_;
    std::vector<std::pair<paint_t*, bool>> attributes_;
};

}  // namespace rdz::formats::json
