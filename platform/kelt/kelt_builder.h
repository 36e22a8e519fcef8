// Building documents for the in-memory document database, and reading back
// what the database recorded.
//
// Tests and the command-line program make documents with these functions; the
// library itself only uses host/kelt_db.h. Every function takes the document
// it works on explicitly (the host functions work on TheDoc).
//
// Ownership: a document owns everything made for it here (ink books, inks,
// paints, objects, image definitions, pixel images) and DestroyDocument frees
// it all. Objects added below another object belong to that object.
//
// How the database behaves where the host interface leaves it open:
//
// - Lists. Items are kept in a vector; an iterator is the list and the index
//   of the next item. Changing a list while iterating it is never unsafe (the
//   next call checks the current length) but items may then be skipped or seen
//   twice; collect first when deleting while walking.
// - Ink database. Inks are kept in the order they were added or merged. Ink
//   books belong to the document; IDB_get_inkbook finds a book of TheDoc by
//   name ignoring case. An ink without a book has the book name "".
//   IDB_merge_ink of an ink that already belongs to the database returns it
//   unchanged; with no TheDoc it returns null and leaves `*ink` to the caller.
// - Registration inks. An ink with kind InkRegistration stands for "all
//   plates". PDB_replace_registration_inks walks every solid of TheDoc (the
//   step paints of vignettes included) and replaces each amount of a
//   registration ink, in place, by one amount per process ink of TheDoc's ink
//   database (database order) with the same fraction and flags. A process ink
//   that the solid already holds keeps its position and takes the larger of
//   the two fractions. Without process inks in the database nothing changes.
//   The paints' registration flags and change counts are left alone.
// - Paints. A vignette owns its step paints (they are not in the document's
//   paint list). PAI_log_solids appends the solid's current ink make-up to the
//   paint's history (read with PaintHistory); it does nothing for a vignette.
//   PAO_set_changed increments `changeCount`. PAI_copy copies a solid's ink
//   amounts (same inks) or a vignette's steps (deeply) and the registration
//   flag; the copy starts with an empty history and a change count of 0.
//   PDB_add_paint ignores a paint that TheDoc already holds.
// - Objects. OBJ_apply_recursive and OBJ_collect follow `components` only (not
//   mask content, form content or the image-definition container). OBJ_delete
//   of a document destroys it (as DestroyDocument); it refuses, with an error
//   message, the image-definition container, the content root of a mask or a
//   form, and an image definition that a placement of its document still
//   shows.
// - Forms. ExpandAllForms replaces each form below the document, and below the
//   content of opacity masks reached from it, by a deep copy of its content
//   (forms inside the copy are expanded too) and returns how many forms it
//   replaced. A form without content is removed and counted. Deep copies share
//   paints, inks and image definitions with the original; attributes,
//   transparency records, masks and mask content are copied.
// - Noise level: 1 at start; VGE_set_enable_noise stores any value.
// - Resolver. KELT_Reso_CreateResolver binds the resolver to TheDoc and opens
//   a session in the document's resolver record (null when there is no TheDoc
//   or SetResolverAvailable(doc, false) was called). SetOption appends (key,
//   kind, value) to the session; an unknown kind or a null key or value is
//   refused with -1 and not recorded. Resolve(component) records the event and
//   prepares the resolved layer: a new OBJ_KIND_LAYER named "resolved" whose
//   children are deep copies of the component's children, forms expanded.
//   Apply records the event and inserts the prepared layer as the component's
//   first child (-1 when nothing is prepared). Flush records the event and
//   drops a prepared layer that was not applied. The original children stay
//   behind the resolved layer; the caller deletes them. Resolve, Apply and
//   Flush are recorded, failed or not, as long as the resolver's document
//   lives; after DestroyDocument they return -1 and record nothing.
// - Images. A pixel image keeps its samples in one contiguous vector: row
//   after row, and within a row plane after plane, `width` samples each.
//   CTI_getrow_line_il / CTI_putrow_line_il transfer planes `firstPlane` ..
//   last and columns `firstColumn` .. width-1 (each plane packed with
//   width-firstColumn samples); a null image or buffer, or a row, plane or
//   column out of range, gives -1 and touches nothing. CTI_create accepts kind
//   1 or 17, 8 bits, width and height >= 0 and a non-null ink array; it owns
//   the ink array from the call on and frees it when it fails. CT_make_internal
//   turns external pixel data into a pixel image (planes: the definition's
//   inks, plus alpha when hasAlpha) and fails with -1 when the definition has
//   neither. CT_set_internal with a null image does nothing; it refuses (error
//   message) an image that another definition holds, and besides the planes
//   it takes the image's width and height.
// - INK_print prints one line: ink "<book>" "<name>" kinds=<k,k..|-> rgb=r,g,b
//   (kinds among process, opaque, technical, varnish, unregistered,
//   registration; three decimals for rgb).
// - Colour space: untagged until SetColorSpace; DOC_get_colorspace is null
//   when untagged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/kelt_db.h"

namespace rdz::kelt {

// ---------------------------------------------------------------------------
// Documents

/// A new, empty document (with its empty image-definition container). It
/// becomes TheDoc.
document_object_t* NewDocument(const char* name = nullptr);
/// Frees `document` with everything it holds. TheDoc becomes null when it was
/// `document`. Null is allowed.
void DestroyDocument(document_object_t* document);

/// Makes a document on construction (it becomes TheDoc) and destroys it on
/// destruction.
class ScopedDocument {
  public:
    explicit ScopedDocument(const char* name = nullptr) : document_(NewDocument(name)) {}
    ~ScopedDocument() { DestroyDocument(document_); }
    ScopedDocument(const ScopedDocument&) = delete;
    ScopedDocument& operator=(const ScopedDocument&) = delete;

    document_object_t* get() const { return document_; }
    operator document_object_t*() const { return document_; }
    document_object_t* operator->() const { return document_; }

  private:
    document_object_t* document_;
};

/// Sets the document's colour space: tagged with `name` (null: untagged), and
/// whether the host database holds that colour space.
void SetColorSpace(document_object_t* document, const char* name, bool inDatabase);

// ---------------------------------------------------------------------------
// Inks

/// Kind flags of an ink, combined with |.
enum InkKind : unsigned {
    InkProcess = 1u << 0,
    InkOpaque = 1u << 1,
    InkTechnical = 1u << 2,
    InkVarnish = 1u << 3,
    InkUnregistered = 1u << 4,
    InkRegistration = 1u << 5,  // stands for all plates (PDB_replace_registration_inks)
};

/// The ink book of `document` called `name` (ignoring case), added when it is
/// not there yet.
inkbook_t* AddInkBook(document_object_t* document, const char* name);

struct InkSetup {
    std::string book;  // "" = no book; a new book name adds the book
    std::string name;
    unsigned kinds = 0;                 // InkKind flags
    std::string process;                // process name of a process ink ("" = none)
    float rgb[3] = {0.0f, 0.0f, 0.0f};  // 0.0 .. 1.0
    bool hasCromValues = false;
    float cromValues[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::string printingMethod;  // "" = none (printingmethod stays null)
    double inheritedValue = 0.0;
    unsigned char attribute = 0;
};

/// Adds an ink to the document's ink database. When the database already holds
/// an ink of the same book and name (ignoring case) that ink is returned
/// unchanged.
inkt_t* AddInk(document_object_t* document, const InkSetup& setup);
/// Adds the process inks "Cyan", "Magenta", "Yellow" and "Black" of `book`
/// (process name `process`) and returns them in that order.
std::vector<inkt_t*> AddCmykInks(document_object_t* document, const char* book = "Process",
                                 const char* process = "CMYK");
/// An ink's kind flags; and setting them on any ink.
unsigned InkKinds(const inkt_t* ink);
void SetInkKinds(inkt_t* ink, unsigned kinds, const char* process = nullptr);
void SetInkRGB(inkt_t* ink, float r, float g, float b);
/// The inks of the document's ink database, in database order.
std::vector<inkt_t*> Inks(const document_object_t* document);
/// Frees an ink that belongs to no database (from INK_create); ignores an ink
/// of a database and null.
void FreeInk(inkt_t* ink);

// ---------------------------------------------------------------------------
// Paints

/// One ink amount as the builder takes and reports it.
struct Amount {
    inkt_t* ink = nullptr;
    double fraction = 0.0;
    int flags = 1;

    bool operator==(const Amount& o) const {
        return ink == o.ink && fraction == o.fraction && flags == o.flags;
    }
    bool operator!=(const Amount& o) const { return !(*this == o); }
};

/// A solid paint with these ink amounts (in order), appended to the document's
/// paint list.
paint_t* AddSolid(document_object_t* document, const std::vector<Amount>& amounts,
                  bool registration = false);
/// A registration paint: a solid of `registrationInk` at `fraction` with the
/// registration flag set, appended to the paint list.
paint_t* AddRegistrationPaint(document_object_t* document, inkt_t* registrationInk,
                              double fraction = 1.0);
/// A vignette whose step paints are solids of the given make-ups (in order),
/// appended to the paint list. The vignette owns its steps.
paint_t* AddVignette(document_object_t* document, const std::vector<std::vector<Amount>>& steps);
/// A solid that belongs to no database (for PDB_add_paint); free it with
/// FreePaint unless a database took it.
paint_t* NewSolid(const std::vector<Amount>& amounts, bool registration = false);
/// Frees a paint that belongs to no document (NewSolid, PAI_copy); ignores a
/// paint of a document and null.
void FreePaint(paint_t* paint);

/// The paints of the document's paint list, in order.
std::vector<paint_t*> Paints(const document_object_t* document);
/// A solid's ink amounts in list order (empty for a vignette).
std::vector<Amount> SolidAmounts(const paint_t* paint);
/// A vignette's step paints in order (empty for a solid).
std::vector<paint_t*> VignetteSteps(const paint_t* paint);
/// How often PAO_set_changed was called for the paint.
int ChangeCount(const paint_t* paint);
/// The make-ups PAI_log_solids recorded, oldest first.
std::vector<std::vector<Amount>> PaintHistory(const paint_t* paint);
/// Forgets the paint history of the document and of its paints (for long
/// benchmark runs, where the log would otherwise grow with every pass).
void ClearPaintHistory(document_object_t* document);

// ---------------------------------------------------------------------------
// Objects

/// A top-level component of `document` (appended to its components).
document_object_t* AddComponent(document_object_t* document, const char* name = nullptr);
/// An object of `kind` appended to `parent`'s children. Kinds that need more
/// than the plain record (document, image placement, image definition) are
/// refused with null; use the functions for them.
document_object_t* AddObject(document_object_t* parent, obj_kind_t kind,
                             const char* name = nullptr);
document_object_t* AddLayer(document_object_t* parent, const char* name = nullptr);
document_object_t* AddGroup(document_object_t* parent, const char* name = nullptr);
/// A path appended to `parent`; with a paint it gets one attribute that
/// carries the paint (not transparent).
document_object_t* AddPath(document_object_t* parent, paint_t* paint = nullptr,
                           const char* name = nullptr);
/// An attribute appended to `object`'s attributes. With a paint it carries
/// paint information; `transparent` is what ATR_contains_alfa answers.
attribute_t* AddAttribute(document_object_t* object, paint_t* paint, bool transparent = false);
/// Gives the attribute (which must carry paint information) a transparency
/// record with an opacity mask of `maskKind`, and marks it transparent.
/// Returns the mask's content root, an OBJ_KIND_GROUP to which paths are
/// added; null when the attribute carries no paint information. Calling it
/// again returns the existing content root.
document_object_t* AddOpacityMask(attribute_t* attribute, int maskKind = 22);
/// A form appended to `parent`; returns the form. Its content root (an
/// OBJ_KIND_GROUP, not a child of anything) is FormContent(form).
document_object_t* AddForm(document_object_t* parent, const char* name = nullptr);
document_object_t* FormContent(document_object_t* form);
/// The children of `object`, in order.
std::vector<document_object_t*> Children(const document_object_t* object);
/// The attributes of `object`, in order.
std::vector<attribute_t*> Attributes(const document_object_t* object);

// ---------------------------------------------------------------------------
// Images

struct ImageSetup {
    std::vector<inkt_t*> inks;  // one per ink plane (entries may be null)
    int width = 0;
    int height = 0;
    int params[3] = {300, 300, 0};  // ctParam1..3
    bool alpha = false;
    bool monochrome = false;
    unsigned int flags = 0;
    /// Row after row, each row plane after plane (the ink planes, then alpha),
    /// `width` samples each: height * (inks + alpha) * width bytes, or empty
    /// for all samples 0.
    std::vector<std::uint8_t> pixels;
    /// true: the definition holds a pixel image at once; false: the pixels are
    /// external data until CT_make_internal.
    bool internal = true;
};

/// An image definition appended to the document's image-definition container.
/// Null (nothing added) when the size is negative or the pixels do not fit.
ct_def_t* AddImageDefinition(document_object_t* document, const ImageSetup& setup);
/// An image placement of `definition` appended to `parent`. With plane paints
/// (one per plane of the definition; entries may be null) the placement owns
/// a copy of the array and planeMapUsed is 1. Null when `planePaints` is not
/// empty and its size differs from the definition's nrInks.
ct_object_t* AddImagePlacement(document_object_t* parent, ct_def_t* definition,
                               const std::vector<paint_t*>& planePaints = {});
/// The definitions in the document's image-definition container, in order.
std::vector<ct_def_t*> ImageDefinitions(const document_object_t* document);
/// True while the definition's pixels are external (not yet made internal).
bool IsExternal(const ct_def_t* definition);

/// Read-back of a pixel image.
int ImageWidth(const cti_image_t* image);
int ImageHeight(const cti_image_t* image);
int ImageKind(const cti_image_t* image);
void ImageParams(const cti_image_t* image, int params[3]);
/// The image's ink array (one entry per ink plane).
std::vector<inkt_t*> ImageInks(const cti_image_t* image);
/// All samples, laid out as ImageSetup::pixels.
const std::vector<std::uint8_t>& ImagePixels(const cti_image_t* image);
/// Frees a pixel image that no definition holds (from CTI_create). Null is allowed.
void FreeImage(cti_image_t* image);

/// Called by CTI_getrow_line_il after every row it reads: the definition that
/// holds the pixel image (null for an image no definition holds), the row and
/// the image's height. A failed read is not reported. The hook must not
/// replace itself while it runs.
using RowProgressFunction = std::function<void(const ct_def_t*, int row, int height)>;
/// Installs the process-wide row-progress hook and returns the one it
/// replaces; an empty function removes it (the default).
RowProgressFunction SetRowProgress(RowProgressFunction hook);

/// Called for every whole row (every plane, from column 0) that
/// CTI_getrow_line_il reads (`written` false) or CTI_putrow_line_il writes
/// (`written` true), on the thread that made the call, after the transfer:
/// the definition that holds the pixel image (null for an image that no
/// definition holds yet, such as a converted image before CT_set_internal),
/// the row, the row's samples plane after plane (`width` each) and the number
/// of planes. Failed transfers and partial rows are not reported.
using RowObserverFunction =
    std::function<void(const ct_def_t* definition, int row, const unsigned char* planes,
                       int planeCount, int width, bool written)>;
/// Installs the process-wide row observer and returns the one it replaces; an
/// empty function removes it (the default). It must not replace itself while
/// it runs.
RowObserverFunction SetRowObserver(RowObserverFunction observer);

// ---------------------------------------------------------------------------
// Resolver record

struct ResolverOption {
    std::string key;
    int kind = 0;  // kelt_reso_kind_t
    int intValue = 0;
    double doubleValue = 0.0;
    std::string textValue;
};

enum class ResolverStep { Resolve, Apply, Flush };

struct ResolverEvent {
    ResolverStep step;
    document_object_t* component;  // Resolve: the component; Apply and Flush: the
                                   // component last resolved (null when none)
    int result;                    // what the call returned
};

/// One resolver's life, from KELT_Reso_CreateResolver on.
struct ResolverSession {
    std::vector<ResolverOption> options;  // in the order they were set
    std::vector<ResolverEvent> events;    // in call order
    bool deleted = false;                 // KELT_Reso_DeleteResolver was called
};

/// Whether KELT_Reso_CreateResolver succeeds while `document` is TheDoc
/// (true for a new document).
void SetResolverAvailable(document_object_t* document, bool available);
/// Every resolver session of the document, oldest first.
const std::vector<ResolverSession>& ResolverSessions(const document_object_t* document);

/// The host noise level, as VGE_set_enable_noise last set it.
int NoiseLevel();

}  // namespace rdz::kelt
