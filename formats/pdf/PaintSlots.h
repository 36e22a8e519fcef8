// The paints of a PDF in the document database, and where each is used.
//
// Every page is a top-level component with one layer. A colour of the PDF
// becomes one solid paint (one paint per distinct colour, whatever the page);
// a converted shading becomes a vignette. A slot is a paint as used in one
// place: as artwork, or inside one soft mask. Each slot is a path of the
// document whose attribute carries the paint; the slots of a soft mask lie
// in the content of an opacity mask, so that the conversion can keep them
// apart. After the conversion the paint of each slot is read back from its
// path, so that a copy made for a mask is found as well.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats::pdf {

/// Artwork, as opposed to the content of a soft mask.
constexpr int kArtwork = -1;

class PaintSlots {
  public:
    explicit PaintSlots(document_object_t* document) : document_(document) {}

    document_object_t* Document() const { return document_; }

    /// The layer of page `page` (1-based), made with its component on first
    /// use.
    document_object_t* PageLayer(int page);
    /// A new soft-mask context, first met on `page`; its objects are made
    /// when its first paint comes.
    int NewMask(int page, const std::string& name);

    /// The slot of a solid of `amounts` in context `mask` (kArtwork or a
    /// mask), first met on `page`. Equal colours share their paint, and
    /// within one context their slot.
    int Solid(const std::vector<rdz::kelt::Amount>& amounts, int mask, int page);
    /// A new slot holding a new vignette of these steps.
    int Vignette(const std::vector<std::vector<rdz::kelt::Amount>>& steps, int mask, int page);

    std::size_t Count() const { return slots_.size(); }
    /// The paint a slot was given.
    paint_t* Paint(int slot) const { return slots_[static_cast<std::size_t>(slot)].paint; }
    /// Number of distinct paints (solids and vignettes).
    std::size_t PaintCount() const { return solids_.size() + vignettes_; }

    /// After the conversion: the paint each slot's path carries now (the
    /// paint it was given when the path is gone).
    std::vector<paint_t*> Resolve() const;

    /// Whether the conversion changed a paint's colour (a vignette: any
    /// step's): a paint marked changed whose ink amounts are still those it
    /// was read with counts as unchanged. Paints not made here (copies the
    /// conversion made) count as changed when marked changed.
    bool Changed(paint_t* paint);

  private:
    struct SlotRec {
        paint_t* paint = nullptr;
    };
    struct MaskRec {
        int page = 0;
        std::string name;
        document_object_t* content = nullptr;  // the mask's content root, once made
    };
    int AddSlot(paint_t* paint, int mask, int page);
    document_object_t* Parent(int mask, int page, paint_t* paint);

    document_object_t* document_;
    std::map<int, document_object_t*> layers_;
    std::vector<MaskRec> masks_;
    std::vector<SlotRec> slots_;
    using Key = std::pair<std::vector<std::pair<const inkt_t*, double>>, bool>;
    std::map<Key, paint_t*> solids_;
    std::map<std::pair<const paint_t*, int>, int> solidSlots_;
    std::size_t vignettes_ = 0;
    /// The make-up each solid (vignette steps included) was read with.
    std::map<const paint_t*, std::vector<std::pair<const inkt_t*, double>>> originals_;
    std::map<const paint_t*, bool> changed_;
};

}  // namespace rdz::formats::pdf
