// The paint database: solids, vignettes, registration, history and copies.
#include <algorithm>
#include <utility>

#include "host/kelt_db.h"
#include "platform/kelt/Records.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::kelt {
namespace {

PaintRec* NewPaint(bool vignette) {
    PaintRec* paint = new PaintRec();
    paint->isVignette = vignette;
    paint->paintObject = &paint->object;
    if (vignette) {
        paint->vignet.steps = &paint->list;
    } else {
        paint->solid.inkAmounts = &paint->list;
    }
    return paint;
}

PaintRec* MakeSolid(const std::vector<Amount>& amounts, bool registration) {
    PaintRec* paint = NewPaint(false);
    for (const Amount& a : amounts) {
        paint->list.items.push_back(IA_create(a.ink, a.fraction, a.flags));
    }
    paint->registration = registration ? 1 : 0;
    return paint;
}

PaintRec* CopyPaint(const PaintRec* source) {
    PaintRec* copy = NewPaint(source->isVignette);
    copy->registration = source->registration;
    for (void* item : source->list.items) {
        if (source->isVignette) {
            PaintRec* step = CopyPaint(Rec(static_cast<paint_t*>(item)));
            step->isStep = true;
            copy->list.items.push_back(step);
        } else {
            const ink_amount_t* a = static_cast<const ink_amount_t*>(item);
            copy->list.items.push_back(IA_create(a->ink, a->fraction, a->flags));
        }
    }
    return copy;
}

void SetHome(PaintRec* paint, DocumentRec* document) {
    paint->home = document;
    if (paint->isVignette) {
        for (void* step : paint->list.items) {
            SetHome(Rec(static_cast<paint_t*>(step)), document);
        }
    }
}

void AddToDocument(DocumentRec* document, PaintRec* paint) {
    paint->database = document;
    SetHome(paint, document);
    document->paintList.items.push_back(paint);
}

/// Replaces the registration amounts of one solid (see kelt_builder.h).
void ReplaceRegistration(PaintRec* paint, const std::vector<inkt_t*>& processInks) {
    if (paint->isVignette) {
        for (void* step : paint->list.items) {
            ReplaceRegistration(Rec(static_cast<paint_t*>(step)), processInks);
        }
        return;
    }
    std::vector<void*>& items = paint->list.items;
    for (std::size_t i = 0; i < items.size();) {
        ink_amount_t* amount = static_cast<ink_amount_t*>(items[i]);
        if ((InkKinds(amount->ink) & InkRegistration) == 0) {
            ++i;
            continue;
        }
        const double fraction = amount->fraction;
        const int flags = amount->flags;
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
        IA_release(amount);
        for (inkt_t* ink : processInks) {
            auto held = std::find_if(items.begin(), items.end(), [ink](void* item) {
                return static_cast<ink_amount_t*>(item)->ink == ink;
            });
            if (held != items.end()) {
                ink_amount_t* existing = static_cast<ink_amount_t*>(*held);
                existing->fraction = std::max(existing->fraction, fraction);
            } else {
                items.insert(items.begin() + static_cast<std::ptrdiff_t>(i),
                             IA_create(ink, fraction, flags));
                ++i;
            }
        }
    }
}

}  // namespace

void FreePaintRecord(PaintRec* paint) {
    if (paint == nullptr) {
        return;
    }
    for (void* item : paint->list.items) {
        if (paint->isVignette) {
            FreePaintRecord(Rec(static_cast<paint_t*>(item)));
        } else {
            IA_release(item);
        }
    }
    delete paint;
}

paint_t* AddSolid(document_object_t* object, const std::vector<Amount>& amounts,
                  bool registration) {
    DocumentRec* document = AsDocument(object);
    if (document == nullptr) {
        return nullptr;
    }
    PaintRec* paint = MakeSolid(amounts, registration);
    AddToDocument(document, paint);
    return paint;
}

paint_t* AddRegistrationPaint(document_object_t* document, inkt_t* registrationInk,
                              double fraction) {
    return AddSolid(document, {{registrationInk, fraction, 1}}, true);
}

paint_t* AddVignette(document_object_t* object, const std::vector<std::vector<Amount>>& steps) {
    DocumentRec* document = AsDocument(object);
    if (document == nullptr) {
        return nullptr;
    }
    PaintRec* vignette = NewPaint(true);
    for (const std::vector<Amount>& make_up : steps) {
        PaintRec* step = MakeSolid(make_up, false);
        step->isStep = true;
        vignette->list.items.push_back(step);
    }
    AddToDocument(document, vignette);
    return vignette;
}

paint_t* NewSolid(const std::vector<Amount>& amounts, bool registration) {
    return MakeSolid(amounts, registration);
}

void FreePaint(paint_t* paint) {
    if (paint != nullptr && Rec(paint)->database == nullptr && !Rec(paint)->isStep) {
        FreePaintRecord(Rec(paint));
    }
}

std::vector<paint_t*> Paints(const document_object_t* object) {
    std::vector<paint_t*> out;
    if (const DocumentRec* document = AsDocument(object)) {
        for (void* item : document->paintList.items) {
            out.push_back(static_cast<paint_t*>(item));
        }
    }
    return out;
}

std::vector<Amount> SolidAmounts(const paint_t* paint) {
    std::vector<Amount> out;
    if (paint != nullptr && !Rec(paint)->isVignette) {
        for (void* item : Rec(paint)->list.items) {
            const ink_amount_t* a = static_cast<const ink_amount_t*>(item);
            out.push_back({a->ink, a->fraction, a->flags});
        }
    }
    return out;
}

std::vector<paint_t*> VignetteSteps(const paint_t* paint) {
    std::vector<paint_t*> out;
    if (paint != nullptr && Rec(paint)->isVignette) {
        for (void* item : Rec(paint)->list.items) {
            out.push_back(static_cast<paint_t*>(item));
        }
    }
    return out;
}

int ChangeCount(const paint_t* paint) {
    return paint != nullptr && paint->paintObject != nullptr ? paint->paintObject->changeCount : 0;
}

void ClearPaintHistory(document_object_t* object) {
    DocumentRec* document = AsDocument(object);
    if (document == nullptr) {
        return;
    }
    document->history.entries.clear();
    document->history.amounts.clear();
    for (void* item : document->paintList.items) {
        Rec(static_cast<paint_t*>(item))->looseHistory.clear();
    }
}

std::vector<std::vector<Amount>> PaintHistory(const paint_t* paint) {
    std::vector<std::vector<Amount>> out;
    if (paint == nullptr) {
        return out;
    }
    out = Rec(paint)->looseHistory;
    if (const DocumentRec* document = AsDocument(Rec(paint)->home)) {
        const HistoryLog& log = document->history;
        for (std::size_t e = 0; e < log.entries.size(); ++e) {
            const HistoryEntry& entry = log.entries[e];
            if (entry.paint == paint) {
                std::vector<Amount> amounts;
                for (std::size_t i = 0; i < entry.count; ++i) {
                    amounts.push_back(log.amounts[entry.first + i]);
                }
                out.push_back(std::move(amounts));
            }
        }
    }
    return out;
}

}  // namespace rdz::kelt

using namespace rdz::kelt;

solid_t* PAI_get_solid(paint_t* paint) {
    return paint != nullptr && !Rec(paint)->isVignette ? &Rec(paint)->solid : nullptr;
}

vignet_t* PAI_get_vignet(paint_t* paint) {
    return paint != nullptr && Rec(paint)->isVignette ? &Rec(paint)->vignet : nullptr;
}

int PAI_is_registration(const paint_t* paint) {
    return paint != nullptr && Rec(paint)->registration != 0 ? 1 : 0;
}

void PAI_set_registration(paint_t* paint, int registration) {
    if (paint != nullptr) {
        Rec(paint)->registration = registration != 0 ? 1 : 0;
    }
}

void PAI_log_solids(paint_t* paint) {
    if (paint != nullptr && !Rec(paint)->isVignette) {
        PaintRec* rec = Rec(paint);
        DocumentRec* document = AsDocument(rec->home);
        if (document == nullptr) {
            rec->looseHistory.push_back(SolidAmounts(paint));
            return;
        }
        HistoryLog& log = document->history;
        log.entries.push_back({paint, log.amounts.size(), rec->list.items.size()});
        for (void* item : rec->list.items) {
            const ink_amount_t* a = static_cast<const ink_amount_t*>(item);
            log.amounts.push_back({a->ink, a->fraction, a->flags});
        }
    }
}

inkt_t* PAI_one_ink(paint_t* paint) {
    if (paint == nullptr || Rec(paint)->isVignette || Rec(paint)->list.items.size() != 1) {
        return nullptr;
    }
    return static_cast<ink_amount_t*>(Rec(paint)->list.items.front())->ink;
}

paint_t* PAI_copy(const paint_t* paint) {
    return paint != nullptr ? CopyPaint(Rec(paint)) : nullptr;
}

void PDB_add_paint(paint_t* paint) {
    DocumentRec* document = CurrentDocument();
    if (document == nullptr || paint == nullptr) {
        return;
    }
    PaintRec* rec = Rec(paint);
    if (rec->database != nullptr || rec->isStep) {
        return;  // already held by a database or a vignette
    }
    AddToDocument(document, rec);
}

void PDB_replace_registration_inks(void) {
    DocumentRec* document = CurrentDocument();
    if (document == nullptr) {
        return;
    }
    std::vector<inkt_t*> processInks;
    for (void* item : document->inks.items) {
        if (INK_is_process(static_cast<inkt_t*>(item), nullptr) != 0) {
            processInks.push_back(static_cast<inkt_t*>(item));
        }
    }
    if (processInks.empty()) {
        return;
    }
    for (void* item : document->paintList.items) {
        ReplaceRegistration(static_cast<PaintRec*>(item), processInks);
    }
}

void PAO_set_changed(paint_object_t* paintObject) {
    if (paintObject != nullptr) {
        ++paintObject->changeCount;
    }
}

ink_amount_t* IA_create(inkt_t* ink, double fraction, int flags) {
    return new ink_amount_t{ink, fraction, flags};
}

void IA_release(void* amount) {
    delete static_cast<ink_amount_t*>(amount);
}
