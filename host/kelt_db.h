// Host document database: documents, objects, inks, paints and images.
//
// Everything here belongs to the host; the library only calls it. Handles are
// borrowed: the library never frees an ink, paint, object or image definition.
// Database-wide functions without a document argument (IDB_*, PDB_*) work on
// the current document `TheDoc`.
//
// Fields that the converters read or write are named in the records below;
// everything else a record holds is the database's own business.
#pragma once

#include <cstdint>

#include "host/kelt_container.h"

struct inkbook_t;
struct inkt_t;
struct paint_t;
struct attribute_t;
struct document_object_t;
struct ct_def_t;
struct cti_image_t;
struct soa_t;
struct kelt_resolver_t;

// ---------------------------------------------------------------------------
// Objects

/// Kinds of object in a document tree.
enum obj_kind_t : int {
    OBJ_KIND_DOCUMENT = 1,  // a document: top-level components, paints, image definitions
    OBJ_KIND_COMPONENT,     // a top-level component (its children are layers)
    OBJ_KIND_LAYER,
    OBJ_KIND_GROUP,
    OBJ_KIND_PATH,          // painted artwork: its attributes carry paints
    OBJ_KIND_CT_OBJECT,     // an image placement (`ct_object_t`)
    OBJ_KIND_CT_DEF,        // an image definition (`ct_def_t`)
    OBJ_KIND_CONTAINER,     // a plain container, such as the image definitions of a document
    OBJ_KIND_FORM,          // a form: a reference to reusable content, expanded by ExpandAllForms
};

/// Argument handed through OBJ_apply_recursive to its function. It is wide
/// enough to carry an address on every platform (a 32-bit unsigned int on the
/// host's original 32-bit target, 64 bits here).
typedef std::uintptr_t obj_apply_data_t;
typedef void (*obj_apply_f)(void* object, obj_apply_data_t data);
typedef int (*obj_predicate_f)(document_object_t* object);

/// Every object of a document, the document itself included.
struct document_object_t {
    obj_kind_t kind;
    char* name;                    // owned by the database; may be null
    document_object_t* parent;     // null for a document and for unattached objects
    gen_list_type* components;     // children, in order (never null)
    gen_list_type* attributes;     // attribute_t*, in order (never null)
    int mark;                      // scratch mark, cleared by OBJ_reset_mark_f
    document_object_t* layer;      // top-level components: their layer, once resolved
    document_object_t* formContent;// forms: the content they stand for (not a child)
    // Documents only (null elsewhere):
    sol_list_t* paints;                // paint_t*, in database order
    document_object_t* ctDefinitions;  // container whose components are the image definitions
};

/// Opacity mask of a transparency record.
struct opacity_mask_t {
    int maskKind;                    // 22: a luminosity mask whose content carries paints
    document_object_t* maskContent;  // root of the mask's artwork (not a child of any object)
};

struct transparency_t {
    opacity_mask_t* mask;  // may be null
};

/// Paint information of an attribute. Its first field is the paint, which a
/// caller may replace by another paint of the same document.
struct paint_info_t {
    paint_t* paint;
    transparency_t* transparency;  // may be null
};

/// Image placement: an object that shows an image definition.
struct ct_object_t : document_object_t {
    ct_def_t* definition;
    paint_t** planePaints;          // one paint per plane of the definition (entries may be
                                    // null); owned by the placement; null when there is none
    unsigned short planeMapUsed;    // non-zero when planePaints colour the planes
};

/// Image definition. `inks` has `nrInks` entries (entries may be null).
struct ct_def_t : document_object_t {
    unsigned int flags;   // 0x20000: leave this definition unconverted
    int nrInks;
    inkt_t** inks;        // owned by the definition
    int width;            // pixels per row
    int height;           // rows
    int ctParam1, ctParam2, ctParam3;  // resolution and encoding, handed to CTI_create
    cti_image_t* internal;             // pixel image; null until it is made internal
    int monochrome;                    // 1-bit line art
    int hasAlpha;                      // the pixel image carries an alpha plane
};

/// The current document.
extern document_object_t* TheDoc;

/// Positions `it` at the first child of `object`; OBJ_next yields the children.
void OBJ_all_components(document_object_t* object, list_iterator_t* it);
int OBJ_next(list_iterator_t* it, document_object_t** child);
void OBJ_all_attributes(document_object_t* object, list_iterator_t* it);
int ATR_next(list_iterator_t* it, attribute_t** attribute);

/// Calls `function(o, data)` for `object` and then for every object below it
/// (its children, depth first, in order).
void OBJ_apply_recursive(obj_apply_f function, document_object_t* object, obj_apply_data_t data);
/// OBJ_apply_recursive function that clears an object's mark.
void OBJ_reset_mark_f(void* object, obj_apply_data_t data);
/// Appends to `list` every object at or below `root` (depth first, in order)
/// for which `predicate` is non-zero.
void OBJ_collect(obj_predicate_f predicate, document_object_t* root, gen_list_type* list);
int OBJ_has_opacity_mask(document_object_t* object);  // an attribute has a mask
int OBJ_has_style(document_object_t* object);         // an attribute carries paint information
/// Removes `object` from its parent and frees it with everything below it.
void OBJ_delete(document_object_t* object);
int OBJ_is_ct_object(document_object_t* object);
paint_info_t* ATR_get_paint_info(attribute_t* attribute);  // null when none
int ATR_contains_alfa(attribute_t* attribute);              // attribute is transparent
void LAY_set_name(document_object_t* layer, const char* name);
/// Replaces every form of `document` by a copy of its content. Returns the count.
int ExpandAllForms(document_object_t* document);
/// Sets the host's noise level for vignettes and returns the previous level.
int VGE_set_enable_noise(int level);

// ---------------------------------------------------------------------------
// Resolver

/// Resolver option kinds for KELT_Reso_SetOption.
enum kelt_reso_kind_t : int { KELT_RESO_INT = 0, KELT_RESO_DOUBLE = 1, KELT_RESO_TEXT = 2 };

kelt_resolver_t* KELT_Reso_CreateResolver(void);  // null on failure
/// `value` points at an int, a double or a NUL-terminated text, by `kind`. 0 = success.
int KELT_Reso_SetOption(kelt_resolver_t* resolver, const char* key, int kind, const void* value);
int KELT_Reso_Resolve(kelt_resolver_t* resolver, document_object_t* component);
int KELT_Reso_Apply(kelt_resolver_t* resolver);
int KELT_Reso_Flush(kelt_resolver_t* resolver);
void KELT_Reso_DeleteResolver(kelt_resolver_t* resolver);

// ---------------------------------------------------------------------------
// Inks

/// A document ink. Kind flags are read through the INK_is_* predicates.
struct inkt_t {
    inkbook_t* book;          // null when the ink belongs to no ink book
    char* name;               // owned by the database, never null
    float cromValues[4];      // chromatic components, valid when hasCromValues
    int hasCromValues;
    char* printingmethod;     // may be null; set with INK_set_printingmethod
    double inheritedValue;
    unsigned char attribute;  // set with INK_set_attribute
};

/// Calls IDB_all_inks and SOL_next_item yield the inks of TheDoc, in database order.
void IDB_all_inks(list_iterator_t* it);
int IDB_count_inks(void);
inkbook_t* IDB_get_inkbook(const char* bookName);  // null when unknown
const char* IDB_get_inkbook_name(const inkbook_t* book);
/// A new ink that belongs to no database yet. `book` may be null.
inkt_t* INK_create(inkbook_t* book, const char* name);
/// Merges `*ink` into TheDoc's ink database. When the database already holds an
/// ink of the same book and name (ignoring case) the new ink is freed, `*ink`
/// is set to the stored one, and the stored one is returned; otherwise the
/// ink is added and returned.
inkt_t* IDB_merge_ink(inkt_t** ink);
void INK_set_printingmethod(inkt_t* ink, const char* method);
void INK_set_attribute(inkt_t* ink, unsigned char attribute);
/// Non-zero for a process ink. When `processName` is not null it receives the
/// name of the process the ink belongs to (or null).
int INK_is_process(const inkt_t* ink, const char** processName);
int INK_is_opaque(const inkt_t* ink);
int INK_is_technical(const inkt_t* ink);
int INK_is_varnish(const inkt_t* ink);
int INK_is_unregistered(const inkt_t* ink);
/// Sets `*book` to the ink's book name ("" without a book) and `*name` to its
/// name. Both stay valid while the ink lives.
void INK_get_group_and_name(const inkt_t* ink, const char** book, const char** name);
void INK_get_RGB(const inkt_t* ink, float rgb[3]);
void INK_print(const inkt_t* ink);  // one line through Tprintf

// ---------------------------------------------------------------------------
// Paints

/// Database record behind a paint; PAO_set_changed marks it changed.
struct paint_object_t {
    int changeCount;  // how often the paint was marked changed
};

/// One ink amount of a solid.
struct ink_amount_t {
    inkt_t* ink;
    double fraction;  // 0.0 .. 1.0
    int flags;
};

struct solid_t {
    simple_list_t* inkAmounts;  // ink_amount_t*, in order
};

struct vignet_t {
    simple_list_t* steps;  // paint_t*, in order
};

struct paint_t {
    paint_object_t* paintObject;
};

solid_t* PAI_get_solid(paint_t* paint);    // null when not a solid
vignet_t* PAI_get_vignet(paint_t* paint);  // null when not a vignette
int PAI_is_registration(const paint_t* paint);
void PAI_set_registration(paint_t* paint, int registration);
/// Records the solid's current ink make-up in the paint's history (for undo).
void PAI_log_solids(paint_t* paint);
/// The only ink of a solid with exactly one ink amount; null otherwise.
inkt_t* PAI_one_ink(paint_t* paint);
/// A deep copy of `paint` that belongs to no database yet.
paint_t* PAI_copy(const paint_t* paint);
/// Appends `paint` to TheDoc's paint list, which takes ownership.
void PDB_add_paint(paint_t* paint);
/// Replaces the registration inks of TheDoc's paints by its process inks.
void PDB_replace_registration_inks(void);
void PAO_set_changed(paint_object_t* paintObject);
ink_amount_t* IA_create(inkt_t* ink, double fraction, int flags);
void IA_release(void* amount);  // an ink_amount_t*; fits list_item_release_f

// ---------------------------------------------------------------------------
// Images

int CT_is_monochrome(const ct_def_t* definition);
int CT_contains_alpha(const ct_def_t* definition);
/// Makes sure the definition holds an internal pixel image. 0 = success.
int CT_make_internal(ct_def_t* definition);
cti_image_t* CT_internal_handle(ct_def_t* definition);  // null when not internal
/// Installs `image` as the definition's pixel image, frees the image it
/// replaces, and takes the definition's planes from the image: `nrInks` and
/// `inks` become the image's ink planes, `hasAlpha` its alpha plane.
void CT_set_internal(ct_def_t* definition, cti_image_t* image);

/// Pixel image kinds for CTI_create.
enum cti_kind_t : int { CTI_KIND_PLANES = 1, CTI_KIND_PLANES_ALPHA = 17 };

/// A new pixel image of `height` rows of `width` pixels, `bits` per sample
/// (8), one plane per entry of `inks` (which it takes over, also when it fails)
/// plus an alpha plane
/// for kind 17. Samples start at 0. Null on failure.
cti_image_t* CTI_create(int ctParam1, int ctParam2, int ctParam3, int height, int width, int kind,
                        int bits, soa_t* inks, int reserved1, int reserved2);
/// Frees a pixel image that no definition holds (for instance one whose
/// conversion failed), with its ink array. Null is allowed.
void CTI_release(cti_image_t* image);
int CTI_nplanes(const cti_image_t* image);  // ink planes plus alpha
/// Reads row `row` into `buffer`: every plane in turn, `width` samples each.
/// 0 = success; -1 for a row out of range.
int CTI_getrow_line_il(cti_image_t* image, int row, int firstPlane, int firstColumn,
                       unsigned char* buffer);
/// Writes row `row` from `buffer`, laid out as for CTI_getrow_line_il.
int CTI_putrow_line_il(cti_image_t* image, const unsigned char* buffer, int row, int firstPlane,
                       int firstColumn);
/// Drops the placement's plane map (planePaints freed, planeMapUsed 0).
void CTO_reset_planemap(ct_object_t* placement);

/// A fixed-size array of object pointers, all null at first.
soa_t* SOA_create(int count);
void SOA_set_object(soa_t* array, int index, void* object);
/// Frees an array that was not handed to CTI_create. Null is allowed.
void SOA_release(soa_t* array);

// ---------------------------------------------------------------------------
// Document colour space

int DOC_is_colorspace_tagged(document_object_t* document);
const char* DOC_get_colorspace(document_object_t* document);  // may be null
int DOC_is_colorspace_in_database(document_object_t* document);

// ---------------------------------------------------------------------------
// Document library services

/// Non-zero when the host runs interactively (an operator is watching).
extern int interactive;

/// A warning for the operator: printf format and arguments.
void KELTIO_Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
