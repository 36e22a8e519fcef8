// Image definitions, pixel images, placements and object arrays.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "host/kelt_db.h"
#include "platform/kelt/Records.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::kelt {
namespace {

CtDefRec* DefRec(ct_def_t* definition) {
    return static_cast<CtDefRec*>(definition);
}
const CtDefRec* DefRec(const ct_def_t* definition) {
    return static_cast<const CtDefRec*>(definition);
}

/// Makes `pixels` hold `samples` zero samples. The memory of a large image
/// is marked for transparent huge pages before it is first touched: a fresh
/// image then costs one page fault per 2 MiB instead of one per 4 KiB, which
/// on a virtual machine is much of the time an image conversion takes. The
/// mark is advice only; where the system offers no huge pages nothing changes.
void AllocateSamples(std::vector<std::uint8_t>& pixels, std::size_t samples) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    pixels.reserve(samples);
#if defined(MADV_HUGEPAGE)
    if (samples >= 4 * kHugePage) {
        const auto begin = reinterpret_cast<std::uintptr_t>(pixels.data());
        const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
        const std::uintptr_t last = (begin + samples) & ~(kHugePage - 1);
        if (last > first) {
            madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
        }
    }
#endif
    pixels.assign(samples, 0);
}

/// height * width * planes, or false when it does not fit in memory sizes.
bool SampleCount(int height, int width, int planes, std::size_t* count) {
    if (height < 0 || width < 0 || planes < 0) {
        return false;
    }
    const unsigned long long total = static_cast<unsigned long long>(height) *
                                     static_cast<unsigned long long>(width) *
                                     static_cast<unsigned long long>(planes);
    // height and width are below 2^31 and planes is a small count, so the
    // product cannot wrap in 64 bits unless planes is huge; check that too.
    if (planes != 0 &&
        total / static_cast<unsigned long long>(planes) !=
            static_cast<unsigned long long>(height) * static_cast<unsigned long long>(width)) {
        return false;
    }
    if (total > std::numeric_limits<std::size_t>::max() / 2) {
        return false;
    }
    *count = static_cast<std::size_t>(total);
    return true;
}

soa_t* InkArray(int count, inkt_t* const* inks) {
    soa_t* array = SOA_create(count < 0 ? 0 : count);
    for (int i = 0; i < count; ++i) {
        array->items[static_cast<std::size_t>(i)] = inks != nullptr ? inks[i] : nullptr;
    }
    return array;
}

void SetDefinitionInks(ct_def_t* definition, const std::vector<void*>& inks) {
    delete[] definition->inks;
    definition->inks = nullptr;
    definition->nrInks = static_cast<int>(inks.size());
    if (!inks.empty()) {
        definition->inks = new inkt_t*[inks.size()];
        for (std::size_t i = 0; i < inks.size(); ++i) {
            definition->inks[i] = static_cast<inkt_t*>(inks[i]);
        }
    }
}

/// Checks a row transfer and returns the samples per plane, or -1.
int RowSpan(const cti_image_t* image, const void* buffer, int row, int firstPlane,
            int firstColumn) {
    if (image == nullptr || buffer == nullptr || row < 0 || row >= image->height ||
        firstPlane < 0 || firstPlane > image->planes || firstColumn < 0 ||
        firstColumn > image->width) {
        return -1;
    }
    return image->width - firstColumn;  // may be 0: nothing to copy
}

RowProgressFunction& CurrentRowProgress() {
    static RowProgressFunction hook;
    return hook;
}

RowObserverFunction& CurrentRowObserver() {
    static RowObserverFunction observer;
    return observer;
}

/// Shows a whole row that was just read or written to the row observer.
void ObserveRow(const cti_image_t* image, int row, const unsigned char* buffer, int firstPlane,
                int firstColumn, bool written) {
    const RowObserverFunction& observer = CurrentRowObserver();
    if (observer && firstPlane == 0 && firstColumn == 0) {
        observer(image->owner, row, buffer, image->planes, image->width, written);
    }
}

}  // namespace

RowProgressFunction SetRowProgress(RowProgressFunction hook) {
    RowProgressFunction previous = std::move(CurrentRowProgress());
    CurrentRowProgress() = std::move(hook);
    return previous;
}

RowObserverFunction SetRowObserver(RowObserverFunction observer) {
    RowObserverFunction previous = std::move(CurrentRowObserver());
    CurrentRowObserver() = std::move(observer);
    return previous;
}

void FreeImageRecord(cti_image_t* image) {
    if (image != nullptr) {
        delete image->inks;
        delete image;
    }
}

void FreeDefinitionData(CtDefRec* definition) {
    delete[] definition->inks;
    definition->inks = nullptr;
    FreeImageRecord(definition->internal);
    definition->internal = nullptr;
    definition->externalPixels.clear();
}

ct_def_t* AddImageDefinition(document_object_t* object, const ImageSetup& setup) {
    DocumentRec* document = AsDocument(object);
    const int nrInks = static_cast<int>(setup.inks.size());
    const int planes = nrInks + (setup.alpha ? 1 : 0);
    std::size_t samples = 0;
    if (document == nullptr || !SampleCount(setup.height, setup.width, planes, &samples) ||
        (!setup.pixels.empty() && setup.pixels.size() != samples)) {
        return nullptr;
    }
    CtDefRec* definition = new CtDefRec();
    definition->kind = OBJ_KIND_CT_DEF;
    definition->components = GL_create();
    definition->attributes = GL_create();
    definition->flags = setup.flags;
    definition->nrInks = nrInks;
    if (nrInks > 0) {
        definition->inks = new inkt_t*[setup.inks.size()];
        std::copy(setup.inks.begin(), setup.inks.end(), definition->inks);
    }
    definition->width = setup.width;
    definition->height = setup.height;
    definition->ctParam1 = setup.params[0];
    definition->ctParam2 = setup.params[1];
    definition->ctParam3 = setup.params[2];
    definition->monochrome = setup.monochrome ? 1 : 0;
    definition->hasAlpha = setup.alpha ? 1 : 0;
    if (setup.internal) {
        cti_image_t* image =
            CTI_create(setup.params[0], setup.params[1], setup.params[2], setup.height, setup.width,
                       setup.alpha ? CTI_KIND_PLANES_ALPHA : CTI_KIND_PLANES, 8,
                       InkArray(nrInks, definition->inks), 0, 0);
        if (image == nullptr) {
            FreeObjectTree(definition);
            return nullptr;
        }
        if (!setup.pixels.empty()) {
            image->pixels = setup.pixels;
        }
        image->owner = definition;
        definition->internal = image;
    } else {
        definition->external = true;
        definition->externalPixels = setup.pixels;
        definition->externalPixels.resize(samples, 0);
    }
    AttachChild(document->ctDefinitions, definition);
    return definition;
}

ct_object_t* AddImagePlacement(document_object_t* parent, ct_def_t* definition,
                               const std::vector<paint_t*>& planePaints) {
    if (parent == nullptr || definition == nullptr ||
        (!planePaints.empty() && static_cast<int>(planePaints.size()) != definition->nrInks)) {
        return nullptr;
    }
    CtObjectRec* placement = new CtObjectRec();
    placement->kind = OBJ_KIND_CT_OBJECT;
    placement->components = GL_create();
    placement->attributes = GL_create();
    placement->definition = definition;
    if (!planePaints.empty()) {
        placement->planePaints = new paint_t*[planePaints.size()];
        std::copy(planePaints.begin(), planePaints.end(), placement->planePaints);
        placement->planePaintCount = static_cast<int>(planePaints.size());
        placement->planeMapUsed = 1;
    }
    AttachChild(parent, placement);
    return placement;
}

std::vector<ct_def_t*> ImageDefinitions(const document_object_t* object) {
    std::vector<ct_def_t*> out;
    const DocumentRec* document = AsDocument(object);
    if (document != nullptr && document->ctDefinitions != nullptr) {
        for (void* item : document->ctDefinitions->components->items) {
            document_object_t* child = static_cast<document_object_t*>(item);
            if (child->kind == OBJ_KIND_CT_DEF) {
                out.push_back(static_cast<ct_def_t*>(child));
            }
        }
    }
    return out;
}

bool IsExternal(const ct_def_t* definition) {
    return definition != nullptr && DefRec(definition)->external;
}

int ImageWidth(const cti_image_t* image) {
    return image != nullptr ? image->width : 0;
}
int ImageHeight(const cti_image_t* image) {
    return image != nullptr ? image->height : 0;
}
int ImageKind(const cti_image_t* image) {
    return image != nullptr ? image->kind : 0;
}

void ImageParams(const cti_image_t* image, int params[3]) {
    for (int i = 0; i < 3; ++i) {
        params[i] = image != nullptr ? image->params[i] : 0;
    }
}

std::vector<inkt_t*> ImageInks(const cti_image_t* image) {
    std::vector<inkt_t*> out;
    if (image != nullptr) {
        for (void* item : image->inks->items) {
            out.push_back(static_cast<inkt_t*>(item));
        }
    }
    return out;
}

const std::vector<std::uint8_t>& ImagePixels(const cti_image_t* image) {
    static const std::vector<std::uint8_t> none;
    return image != nullptr ? image->pixels : none;
}

void FreeImage(cti_image_t* image) {
    if (image != nullptr && image->owner == nullptr) {
        FreeImageRecord(image);
    }
}

}  // namespace rdz::kelt

using namespace rdz::kelt;

int CT_is_monochrome(const ct_def_t* definition) {
    return definition != nullptr && definition->monochrome != 0 ? 1 : 0;
}

int CT_contains_alpha(const ct_def_t* definition) {
    return definition != nullptr && definition->hasAlpha != 0 ? 1 : 0;
}

int CT_make_internal(ct_def_t* definition) {
    if (definition == nullptr) {
        return -1;
    }
    if (definition->internal != nullptr) {
        return 0;
    }
    CtDefRec* rec = DefRec(definition);
    if (!rec->external) {
        return -1;
    }
    cti_image_t* image = CTI_create(definition->ctParam1, definition->ctParam2,
                                    definition->ctParam3, definition->height, definition->width,
                                    definition->hasAlpha ? CTI_KIND_PLANES_ALPHA : CTI_KIND_PLANES,
                                    8, InkArray(definition->nrInks, definition->inks), 0, 0);
    if (image == nullptr || image->pixels.size() != rec->externalPixels.size()) {
        // The definition's size no longer matches its pixel data: keep the
        // data external rather than invent samples.
        FreeImageRecord(image);
        return -1;
    }
    image->pixels.swap(rec->externalPixels);
    rec->externalPixels.clear();
    rec->externalPixels.shrink_to_fit();
    rec->external = false;
    image->owner = definition;
    definition->internal = image;
    return 0;
}

cti_image_t* CT_internal_handle(ct_def_t* definition) {
    return definition != nullptr ? definition->internal : nullptr;
}

void CT_set_internal(ct_def_t* definition, cti_image_t* image) {
    if (definition == nullptr || image == nullptr) {
        return;
    }
    if (image->owner != nullptr && image->owner != definition) {
        ReportMisuse("CT_set_internal: the pixel image belongs to another image definition");
        return;
    }
    if (definition->internal != image) {
        FreeImageRecord(definition->internal);
    }
    CtDefRec* rec = DefRec(definition);
    rec->external = false;
    rec->externalPixels.clear();
    rec->externalPixels.shrink_to_fit();
    image->owner = definition;
    definition->internal = image;
    SetDefinitionInks(definition, image->inks->items);
    definition->hasAlpha = image->kind == CTI_KIND_PLANES_ALPHA ? 1 : 0;
    definition->width = image->width;
    definition->height = image->height;
}

cti_image_t* CTI_create(int ctParam1, int ctParam2, int ctParam3, int height, int width, int kind,
                        int bits, soa_t* inks, int, int) {
    if (inks == nullptr) {
        return nullptr;
    }
    const int planes =
        static_cast<int>(inks->items.size()) + (kind == CTI_KIND_PLANES_ALPHA ? 1 : 0);
    std::size_t samples = 0;
    if ((kind != CTI_KIND_PLANES && kind != CTI_KIND_PLANES_ALPHA) || bits != 8 ||
        !SampleCount(height, width, planes, &samples)) {
        delete inks;
        return nullptr;
    }
    cti_image_t* image = new (std::nothrow) cti_image_t();
    if (image == nullptr) {
        delete inks;
        return nullptr;
    }
    image->params[0] = ctParam1;
    image->params[1] = ctParam2;
    image->params[2] = ctParam3;
    image->width = width;
    image->height = height;
    image->kind = kind;
    image->bits = bits;
    image->inks = inks;
    image->planes = planes;
    try {
        AllocateSamples(image->pixels, samples);
    } catch (const std::bad_alloc&) {
        FreeImageRecord(image);
        return nullptr;
    }
    return image;
}

void CTI_release(cti_image_t* image) {
    if (image == nullptr) {
        return;
    }
    if (image->owner != nullptr) {
        ReportMisuse("CTI_release: the pixel image belongs to an image definition");
        return;
    }
    FreeImageRecord(image);
}

int CTI_nplanes(const cti_image_t* image) {
    return image != nullptr ? image->planes : 0;
}

int CTI_getrow_line_il(cti_image_t* image, int row, int firstPlane, int firstColumn,
                       unsigned char* buffer) {
    const int span = RowSpan(image, buffer, row, firstPlane, firstColumn);
    if (span < 0) {
        return span;
    }
    const std::size_t width = static_cast<std::size_t>(image->width);
    const std::uint8_t* base =
        image->pixels.data() + static_cast<std::size_t>(row) * width * image->planes;
    for (int p = firstPlane; span > 0 && p < image->planes; ++p) {
        std::memcpy(buffer + static_cast<std::size_t>(p - firstPlane) * span,
                    base + static_cast<std::size_t>(p) * width + firstColumn,
                    static_cast<std::size_t>(span));
    }
    ObserveRow(image, row, buffer, firstPlane, firstColumn, false);
    const RowProgressFunction& hook = CurrentRowProgress();
    if (hook) {
        hook(image->owner, row, image->height);
    }
    return 0;
}

int CTI_putrow_line_il(cti_image_t* image, const unsigned char* buffer, int row, int firstPlane,
                       int firstColumn) {
    const int span = RowSpan(image, buffer, row, firstPlane, firstColumn);
    if (span <= 0) {
        return span;
    }
    const std::size_t width = static_cast<std::size_t>(image->width);
    std::uint8_t* base =
        image->pixels.data() + static_cast<std::size_t>(row) * width * image->planes;
    for (int p = firstPlane; p < image->planes; ++p) {
        std::memcpy(base + static_cast<std::size_t>(p) * width + firstColumn,
                    buffer + static_cast<std::size_t>(p - firstPlane) * span,
                    static_cast<std::size_t>(span));
    }
    ObserveRow(image, row, buffer, firstPlane, firstColumn, true);
    return 0;
}

void CTO_reset_planemap(ct_object_t* placement) {
    if (placement == nullptr) {
        return;
    }
    CtObjectRec* rec = static_cast<CtObjectRec*>(placement);
    delete[] rec->planePaints;
    rec->planePaints = nullptr;
    rec->planePaintCount = 0;
    rec->planeMapUsed = 0;
}

soa_t* SOA_create(int count) {
    if (count < 0) {
        return nullptr;
    }
    soa_t* array = new soa_t();
    array->items.assign(static_cast<std::size_t>(count), nullptr);
    return array;
}

void SOA_set_object(soa_t* array, int index, void* object) {
    if (array != nullptr && index >= 0 && static_cast<std::size_t>(index) < array->items.size()) {
        array->items[static_cast<std::size_t>(index)] = object;
    }
}

void SOA_release(soa_t* array) {
    delete array;
}
