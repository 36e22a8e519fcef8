// The database's own records behind the host handles. Private to platform/kelt.
//
// Every handle the host interface hands out is the public record at the start
// of a larger private one (an object of OBJ_KIND_PATH is an ObjectRec, an ink
// an InkRec, ...). Objects are told apart by their `kind`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/kelt_container.h"
#include "host/kelt_db.h"
#include "platform/kelt/ImageStreams.h"
#include "platform/kelt/kelt_builder.h"

// ---------------------------------------------------------------------------
// Lists: the three list kinds share one body, so that one iterator serves all.

namespace rdz::kelt {
struct ItemList {
    std::vector<void*> items;
};
}  // namespace rdz::kelt

struct gen_list_type : rdz::kelt::ItemList {};
struct simple_list_t : rdz::kelt::ItemList {};
struct sol_list_t : rdz::kelt::ItemList {};

struct soa_t {
    std::vector<void*> items;
};

/// A pixel image: 8-bit samples, row after row, each row plane after plane.
struct cti_image_t {
    int params[3] = {0, 0, 0};
    int width = 0;
    int height = 0;
    int kind = CTI_KIND_PLANES;
    int bits = 8;
    soa_t* inks = nullptr;  // owned; one entry per ink plane
    int planes = 0;         // ink planes plus alpha
    std::vector<std::uint8_t> pixels;
    ct_def_t* owner = nullptr;  // the definition that holds it
    // Streamed images (ImageStreams.h) keep no pixels: rows come from a
    // source or go to a sink.
    std::unique_ptr<rdz::kelt::RowSource> source;
    std::unique_ptr<rdz::kelt::RowSink> sink;
    int rowsWritten = 0;                   // sink images: rows taken, in order
    std::vector<std::uint8_t> scratchRow;  // partial reads of a streamed image
    std::uint64_t reserved = 0;            // budget bytes counted for `pixels`
    const ct_def_t* madeFor = nullptr;     // target images: the definition (row observer)
};

// ---------------------------------------------------------------------------
// Inks and paints

struct inkbook_t {
    std::string name;
};

namespace rdz::kelt {

struct InkRec : inkt_t {
    std::string nameText;
    std::string methodText;
    unsigned kinds = 0;
    std::string process;
    float rgb[3] = {0.0f, 0.0f, 0.0f};
    document_object_t* database = nullptr;  // the document whose ink database holds it
};

inline InkRec* Rec(inkt_t* ink) {
    return static_cast<InkRec*>(ink);
}
inline const InkRec* Rec(const inkt_t* ink) {
    return static_cast<const InkRec*>(ink);
}

struct PaintRec : paint_t {
    bool isVignette = false;
    solid_t solid{};
    vignet_t vignet{};
    simple_list_t list;  // ink_amount_t* of a solid, or paint_t* steps of a vignette
    paint_object_t object{};
    int registration = 0;
    // Make-ups logged while the paint belonged to no document; afterwards
    // they go to the document's history log.
    std::vector<std::vector<Amount>> looseHistory;
    document_object_t* database = nullptr;  // the document whose paint list holds it
    document_object_t* home = nullptr;      // the document it belongs to, steps included
    bool isStep = false;                    // owned by a vignette
};

/// One PAI_log_solids call: `count` amounts from `first` in the log's amounts.
struct HistoryEntry {
    const paint_t* paint;
    std::size_t first;
    std::size_t count;
};

/// An append-only sequence stored in large blocks: appending allocates once
/// per block and never moves what is stored.
template <typename T>
class BlockLog {
  public:
    static constexpr std::size_t kBlock = 4096;

    void push_back(const T& value) {
        if (size_ % kBlock == 0) {
            blocks_.emplace_back(new T[kBlock]);
        }
        blocks_.back()[size_ % kBlock] = value;
        ++size_;
    }
    const T& operator[](std::size_t i) const { return blocks_[i / kBlock][i % kBlock]; }
    std::size_t size() const { return size_; }
    void clear() {
        blocks_.clear();
        size_ = 0;
    }

  private:
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::size_t size_ = 0;
};

/// The paint history of a document: logging a paint costs no allocation of
/// its own, and a long log is never copied to grow.
struct HistoryLog {
    BlockLog<HistoryEntry> entries;
    BlockLog<Amount> amounts;
};

inline PaintRec* Rec(paint_t* paint) {
    return static_cast<PaintRec*>(paint);
}
inline const PaintRec* Rec(const paint_t* paint) {
    return static_cast<const PaintRec*>(paint);
}

}  // namespace rdz::kelt

// ---------------------------------------------------------------------------
// Attributes

struct attribute_t {
    paint_info_t* info = nullptr;  // owned, with its transparency record and mask
    int containsAlfa = 0;
};

// ---------------------------------------------------------------------------
// Objects

namespace rdz::kelt {

/// What every object keeps beside its public record.
struct ObjectExtra {
    std::string nameText;      // `name` points into it (or is null)
    bool contentRoot = false;  // root of a mask's or form's content
};

struct ObjectRec : document_object_t {
    ObjectExtra extra;
};

struct CtObjectRec : ct_object_t {
    ObjectExtra extra;
    int planePaintCount = 0;  // entries of planePaints
};

struct CtDefRec : ct_def_t {
    ObjectExtra extra;
    bool external = false;
    std::vector<std::uint8_t> externalPixels;
    std::uint64_t externalReserved = 0;  // budget bytes counted for externalPixels
    int streamNumber = 0;                // 0: not streamed (ImageStreams.h)
    RowSinkFactory sinkFactory;
};

struct DocumentRec;

}  // namespace rdz::kelt

struct kelt_resolver_t {
    rdz::kelt::DocumentRec* document = nullptr;  // null once the document is gone
    std::size_t session = 0;                     // index into the document's sessions
    document_object_t* lastResolved = nullptr;
    document_object_t* pending = nullptr;  // prepared layer, not yet applied
};

namespace rdz::kelt {

struct DocumentRec : document_object_t {
    ObjectExtra extra;
    std::vector<inkbook_t*> books;
    sol_list_t inks;
    // Look-ups by name, so that adding n inks costs n look-ups and not n^2
    // comparisons. Keys are folded to lower case the way strcmp_ci compares
    // (InkKey in Inks.cpp); every book and ink of the lists above is in them.
    std::unordered_map<std::string, inkbook_t*> bookIndex;
    std::unordered_map<std::string, InkRec*> inkIndex;
    sol_list_t paintList;
    HistoryLog history;
    bool tagged = false;
    std::string colorspace;
    bool colorspaceInDatabase = false;
    bool resolverAvailable = true;
    std::vector<ResolverSession> sessions;
    std::vector<kelt_resolver_t*> liveResolvers;
};

inline DocumentRec* AsDocument(document_object_t* o) {
    return o != nullptr && o->kind == OBJ_KIND_DOCUMENT ? static_cast<DocumentRec*>(o) : nullptr;
}
inline const DocumentRec* AsDocument(const document_object_t* o) {
    return o != nullptr && o->kind == OBJ_KIND_DOCUMENT ? static_cast<const DocumentRec*>(o)
                                                        : nullptr;
}
inline DocumentRec* CurrentDocument() {
    return AsDocument(TheDoc);
}

ObjectExtra& Extra(document_object_t* object);
const ObjectExtra& Extra(const document_object_t* object);

/// A new plain object (any kind but document, placement and definition), with
/// empty lists, unattached.
document_object_t* NewPlainObject(obj_kind_t kind, const char* name);
void SetObjectName(document_object_t* object, const char* name);
/// Appends `child` to `parent`'s children and sets its parent.
void AttachChild(document_object_t* parent, document_object_t* child);
/// Frees `object` with everything below it (it must already be detached).
void FreeObjectTree(document_object_t* object);
/// A deep copy of `object` and everything below it, unattached.
document_object_t* CopyObjectTree(const document_object_t* object);
/// Replaces every form at or below `object` (mask content included); returns
/// how many were replaced. `object` itself is never replaced.
int ExpandFormsBelow(document_object_t* object);
/// Position of `item` in `list`, or -1.
long IndexOf(const ItemList& list, const void* item);

// Release helpers used when a document goes.
void FreeInkRecord(InkRec* ink);
void FreePaintRecord(PaintRec* paint);
void FreeImageRecord(cti_image_t* image);
void FreeDefinitionData(CtDefRec* definition);

/// Reports a misuse of the database to the operator as an error message.
void ReportMisuse(const char* text);

}  // namespace rdz::kelt
