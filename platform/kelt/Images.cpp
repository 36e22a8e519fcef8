// Image definitions, pixel images, placements and object arrays.
#ifndef _WIN32
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

#include "host/kelt_db.h"
#include "platform/kelt/ImageStreams.h"
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
    [[maybe_unused]] constexpr std::size_t kHugePage = std::size_t{2} << 20;
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

/// Pixel bytes the database holds (HeldPixelBytes).
std::uint64_t g_heldBytes = 0;

/// Counts `bytes` of pixels the database is about to hold against the
/// budget (throws MemoryBudgetExceeded).
void Hold(std::uint64_t bytes, const std::string& what) {
    ReserveImageMemory(bytes, what);
    g_heldBytes += bytes;
}

void Unhold(std::uint64_t bytes) {
    ReleaseImageMemory(bytes);
    g_heldBytes -= std::min(g_heldBytes, bytes);
}

/// The definition whose pixel image CT_internal_handle or CT_make_internal
/// handed out last: the image pass creates its target right after.
const ct_def_t* g_lastHanded = nullptr;

/// Streamed definitions by stream number.
std::unordered_map<int, CtDefRec*>& Streams() {
    static std::unordered_map<int, CtDefRec*> streams;
    return streams;
}

/// Stream numbers are negative and far from the resolutions and encodings
/// that other definitions carry in ctParam3.
int g_nextStreamNumber = -2000000000;

std::string ImageText(const ct_def_t* definition, int width, int height, int planes) {
    std::string text = "an image";
    if (definition != nullptr && definition->name != nullptr && *definition->name != '\0') {
        text = std::string("the image '") + definition->name + "'";
    }
    return text + " (" + std::to_string(width) + " x " + std::to_string(height) + " pixels, " +
           std::to_string(planes) + (planes == 1 ? " plane)" : " planes)");
}

/// A pixel image record; with `allocate` its samples are zero and counted
/// against the budget. Null for a kind, depth or size the database does not
/// hold; `inks` is owned from the call on (and freed on failure). Throws
/// MemoryBudgetExceeded (after freeing `inks`).
cti_image_t* NewImageRecord(int ctParam1, int ctParam2, int ctParam3, int height, int width,
                            int kind, int bits, soa_t* inks, bool allocate,
                            const ct_def_t* madeFor) {
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
    image->madeFor = madeFor;
    if (!allocate) {
        return image;
    }
    try {
        Hold(samples, ImageText(madeFor, width, height, planes));
    } catch (...) {
        FreeImageRecord(image);
        throw;
    }
    image->reserved = samples;
    try {
        AllocateSamples(image->pixels, samples);
    } catch (const std::bad_alloc&) {
        FreeImageRecord(image);
        return nullptr;
    }
    return image;
}

/// Reads every row of a streamed image into memory; the image is an
/// ordinary one afterwards. False (nothing changed) when a row cannot be
/// made or the memory cannot be had; throws MemoryBudgetExceeded.
bool ReadWhole(cti_image_t* image) {
    if (!image->source) {
        return !image->sink;
    }
    const std::size_t rowBytes =
        static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->planes);
    const std::size_t samples = rowBytes * static_cast<std::size_t>(image->height);
    Hold(samples, ImageText(image->owner, image->width, image->height, image->planes));
    std::vector<std::uint8_t> pixels;
    try {
        AllocateSamples(pixels, samples);
    } catch (const std::bad_alloc&) {
        Unhold(samples);
        return false;
    }
    for (int row = 0; row < image->height; ++row) {
        if (rowBytes != 0 && !image->source->ReadRow(
                                 row, pixels.data() + rowBytes * static_cast<std::size_t>(row))) {
            Unhold(samples);
            return false;
        }
    }
    image->pixels.swap(pixels);
    image->reserved = samples;
    image->source.reset();
    image->scratchRow.clear();
    image->scratchRow.shrink_to_fit();
    return true;
}

/// CTI_getrow_line_il without the hooks.
int GetRow(cti_image_t* image, int row, int firstPlane, int firstColumn, unsigned char* buffer) {
    const int span = RowSpan(image, buffer, row, firstPlane, firstColumn);
    if (span < 0 || image->sink) {
        return -1;
    }
    const std::size_t width = static_cast<std::size_t>(image->width);
    const std::uint8_t* base = nullptr;
    if (image->source) {
        if (span == 0 || firstPlane == image->planes) {
            return 0;
        }
        if (firstPlane == 0 && firstColumn == 0) {
            return image->source->ReadRow(row, buffer) ? 0 : -1;
        }
        try {
            image->scratchRow.resize(width * static_cast<std::size_t>(image->planes));
        } catch (const std::bad_alloc&) {
            return -1;
        }
        if (!image->source->ReadRow(row, image->scratchRow.data())) {
            return -1;
        }
        base = image->scratchRow.data();
    } else {
        base = image->pixels.data() + static_cast<std::size_t>(row) * width * image->planes;
    }
    for (int p = firstPlane; span > 0 && p < image->planes; ++p) {
        std::memcpy(buffer + static_cast<std::size_t>(p - firstPlane) * span,
                    base + static_cast<std::size_t>(p) * width + firstColumn,
                    static_cast<std::size_t>(span));
    }
    return 0;
}

void ObserveRow(const cti_image_t* image, int row, const unsigned char* planes, bool written) {
    const RowObserverFunction& observer = CurrentRowObserver();
    if (observer) {
        const ct_def_t* definition = image->owner != nullptr ? image->owner : image->madeFor;
        observer(definition, row, planes, image->planes, image->width, written);
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
        Unhold(image->reserved);
        delete image->inks;
        delete image;  // a sink not finished by now is given up
    }
}

void FreeDefinitionData(CtDefRec* definition) {
    delete[] definition->inks;
    definition->inks = nullptr;
    FreeImageRecord(definition->internal);
    definition->internal = nullptr;
    definition->externalPixels.clear();
    definition->externalPixels.shrink_to_fit();
    Unhold(definition->externalReserved);
    definition->externalReserved = 0;
    if (definition->streamNumber != 0) {
        Streams().erase(definition->streamNumber);
        definition->streamNumber = 0;
    }
    definition->sinkFactory = nullptr;
    if (g_lastHanded == definition) {
        g_lastHanded = nullptr;
    }
}

namespace {

/// The definition record of AddImageDefinition, without its pixels.
CtDefRec* NewDefinition(const ImageSetup& setup) {
    CtDefRec* definition = new CtDefRec();
    definition->kind = OBJ_KIND_CT_DEF;
    definition->components = GL_create();
    definition->attributes = GL_create();
    definition->flags = setup.flags;
    definition->nrInks = static_cast<int>(setup.inks.size());
    if (!setup.inks.empty()) {
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
    return definition;
}

}  // namespace

namespace {

/// AddImageDefinition: takes `pixels` (moved from when `movable`); with
/// `reserved` the caller's budget reservation of pixels.size() bytes is the
/// definition's now (released on failure).
ct_def_t* AddDefinition(document_object_t* object, const ImageSetup& setup,
                        std::vector<std::uint8_t>* pixels, bool reserved) {
    const std::uint64_t given = reserved ? pixels->size() : 0;
    DocumentRec* document = AsDocument(object);
    const int nrInks = static_cast<int>(setup.inks.size());
    const int planes = nrInks + (setup.alpha ? 1 : 0);
    std::size_t samples = 0;
    if (document == nullptr || !SampleCount(setup.height, setup.width, planes, &samples) ||
        (!pixels->empty() && pixels->size() != samples)) {
        ReleaseImageMemory(given);
        return nullptr;
    }
    // Pixels the caller reserved are counted as held from here on.
    g_heldBytes += given;
    std::uint64_t handed = given;
    CtDefRec* definition = NewDefinition(setup);
    try {
        if (setup.internal) {
            const bool fresh = pixels->empty();
            cti_image_t* image = NewImageRecord(
                setup.params[0], setup.params[1], setup.params[2], setup.height, setup.width,
                setup.alpha ? CTI_KIND_PLANES_ALPHA : CTI_KIND_PLANES, 8,
                InkArray(nrInks, definition->inks), fresh && handed == 0, nullptr);
            if (image == nullptr) {
                FreeObjectTree(definition);
                Unhold(handed);
                return nullptr;
            }
            image->owner = definition;
            definition->internal = image;
            if (!fresh) {
                if (handed == 0) {
                    Hold(samples, ImageText(nullptr, setup.width, setup.height, planes));
                    handed = samples;
                }
                image->pixels.swap(*pixels);
                image->reserved = handed;
                handed = 0;
            }
        } else {
            if (handed == 0) {
                Hold(samples, ImageText(nullptr, setup.width, setup.height, planes));
                handed = samples;
            }
            definition->externalReserved = handed;
            handed = 0;
            definition->external = true;
            definition->externalPixels.swap(*pixels);
            definition->externalPixels.resize(samples, 0);
        }
    } catch (...) {
        FreeObjectTree(definition);
        Unhold(handed);
        throw;
    }
    AttachChild(document->ctDefinitions, definition);
    return definition;
}

}  // namespace

ct_def_t* AddImageDefinition(document_object_t* object, const ImageSetup& setup) {
    std::vector<std::uint8_t> pixels = setup.pixels;
    return AddDefinition(object, setup, &pixels, false);
}

ct_def_t* AddImageDefinition(document_object_t* object, ImageSetup&& setup, bool pixelsReserved) {
    std::vector<std::uint8_t> pixels;
    pixels.swap(setup.pixels);
    return AddDefinition(object, setup, &pixels, pixelsReserved);
}

ct_def_t* AddStreamedImageDefinition(document_object_t* object, const ImageSetup& setup,
                                     std::unique_ptr<RowSource> source) {
    DocumentRec* document = AsDocument(object);
    const int nrInks = static_cast<int>(setup.inks.size());
    const int planes = nrInks + (setup.alpha ? 1 : 0);
    std::size_t samples = 0;
    if (document == nullptr || !source ||
        !SampleCount(setup.height, setup.width, planes, &samples)) {
        return nullptr;
    }
    CtDefRec* definition = NewDefinition(setup);
    const int number = g_nextStreamNumber++;
    definition->ctParam3 = number;
    cti_image_t* image =
        NewImageRecord(definition->ctParam1, definition->ctParam2, number, setup.height,
                       setup.width, setup.alpha ? CTI_KIND_PLANES_ALPHA : CTI_KIND_PLANES, 8,
                       InkArray(nrInks, definition->inks), false, nullptr);
    if (image == nullptr) {
        FreeObjectTree(definition);
        return nullptr;
    }
    image->source = std::move(source);
    image->owner = definition;
    definition->internal = image;
    definition->streamNumber = number;
    Streams()[number] = definition;
    AttachChild(document->ctDefinitions, definition);
    return definition;
}

bool SetRowSinkFactory(ct_def_t* definition, RowSinkFactory factory) {
    if (definition == nullptr || definition->kind != OBJ_KIND_CT_DEF ||
        DefRec(definition)->streamNumber == 0) {
        return false;
    }
    DefRec(definition)->sinkFactory = std::move(factory);
    return true;
}

PixelStorage StorageOf(const cti_image_t* image) {
    if (image != nullptr && image->sink) {
        return PixelStorage::Sink;
    }
    if (image != nullptr && image->source) {
        return PixelStorage::Source;
    }
    return PixelStorage::Memory;
}

int ReadImageRow(cti_image_t* image, int row, unsigned char* planes) {
    return GetRow(image, row, 0, 0, planes);
}

std::uint64_t HeldPixelBytes() {
    return g_heldBytes;
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
    if (image == nullptr) {
        return none;
    }
    // Reading a streamed image whole changes how it is kept, not what it holds.
    if (image->source && !ReadWhole(const_cast<cti_image_t*>(image))) {
        return none;
    }
    return image->pixels;
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
        g_lastHanded = definition;
        return 0;
    }
    CtDefRec* rec = DefRec(definition);
    if (!rec->external) {
        return -1;
    }
    // The external samples become the image's: nothing new is allocated.
    cti_image_t* image = NewImageRecord(
        definition->ctParam1, definition->ctParam2, definition->ctParam3, definition->height,
        definition->width, definition->hasAlpha ? CTI_KIND_PLANES_ALPHA : CTI_KIND_PLANES, 8,
        InkArray(definition->nrInks, definition->inks), false, definition);
    if (image == nullptr || static_cast<std::uint64_t>(image->width) *
                                    static_cast<std::uint64_t>(image->height) *
                                    static_cast<std::uint64_t>(image->planes) !=
                                rec->externalPixels.size()) {
        // The definition's size no longer matches its pixel data: keep the
        // data external rather than invent samples.
        FreeImageRecord(image);
        return -1;
    }
    image->pixels.swap(rec->externalPixels);
    image->reserved = rec->externalReserved;
    rec->externalReserved = 0;
    rec->externalPixels.clear();
    rec->externalPixels.shrink_to_fit();
    rec->external = false;
    image->owner = definition;
    definition->internal = image;
    g_lastHanded = definition;
    return 0;
}

cti_image_t* CT_internal_handle(ct_def_t* definition) {
    if (definition == nullptr) {
        return nullptr;
    }
    if (definition->internal != nullptr) {
        g_lastHanded = definition;
    }
    return definition->internal;
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
    Unhold(rec->externalReserved);
    rec->externalReserved = 0;
    image->owner = definition;
    definition->internal = image;
    SetDefinitionInks(definition, image->inks->items);
    definition->hasAlpha = image->kind == CTI_KIND_PLANES_ALPHA ? 1 : 0;
    definition->width = image->width;
    definition->height = image->height;
    // A sink learns that its rows are the definition's image now; one that
    // did not get every row stays unfinished and is given up with the image.
    if (image->sink && image->rowsWritten == image->height) {
        image->sink->Finish(definition);
    }
}

cti_image_t* CTI_create(int ctParam1, int ctParam2, int ctParam3, int height, int width, int kind,
                        int bits, soa_t* inks, int, int) {
    // The definition the image is made for: by its stream number, else the
    // one whose image the caller fetched last, when the size is the same.
    CtDefRec* streamed = nullptr;
    const auto found = ctParam3 < 0 ? Streams().find(ctParam3) : Streams().end();
    if (found != Streams().end() && found->second->width == width &&
        found->second->height == height) {
        streamed = found->second;
    }
    const ct_def_t* madeFor = streamed;
    if (madeFor == nullptr && g_lastHanded != nullptr && g_lastHanded->width == width &&
        g_lastHanded->height == height) {
        madeFor = g_lastHanded;
    }

    std::unique_ptr<RowSink> sink;
    if (streamed != nullptr && streamed->sinkFactory && inks != nullptr &&
        (kind == CTI_KIND_PLANES || kind == CTI_KIND_PLANES_ALPHA) && bits == 8 && width > 0 &&
        height > 0) {
        SinkRequest request;
        request.definition = streamed;
        request.width = width;
        request.height = height;
        for (void* ink : inks->items) {
            request.inks.push_back(static_cast<inkt_t*>(ink));
        }
        request.alpha = kind == CTI_KIND_PLANES_ALPHA;
        try {
            sink = streamed->sinkFactory(request);
        } catch (...) {
            delete inks;
            throw;
        }
    }
    cti_image_t* image = NewImageRecord(ctParam1, ctParam2, ctParam3, height, width, kind, bits,
                                        inks, !sink, madeFor);
    if (image != nullptr) {
        image->sink = std::move(sink);
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
    const int result = GetRow(image, row, firstPlane, firstColumn, buffer);
    if (result != 0) {
        return result;
    }
    if (firstPlane == 0 && firstColumn == 0) {
        ObserveRow(image, row, buffer, false);
    }
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
    if (image->sink) {
        // A sink takes whole rows, in order.
        if (firstPlane != 0 || firstColumn != 0 || row != image->rowsWritten ||
            !image->sink->WriteRow(row, buffer)) {
            return -1;
        }
        ++image->rowsWritten;
        ObserveRow(image, row, buffer, true);
        return 0;
    }
    if (image->source && !ReadWhole(image)) {
        return -1;
    }
    const std::size_t width = static_cast<std::size_t>(image->width);
    std::uint8_t* base =
        image->pixels.data() + static_cast<std::size_t>(row) * width * image->planes;
    for (int p = firstPlane; p < image->planes; ++p) {
        std::memcpy(base + static_cast<std::size_t>(p) * width + firstColumn,
                    buffer + static_cast<std::size_t>(p - firstPlane) * span,
                    static_cast<std::size_t>(span));
    }
    if (firstPlane == 0 && firstColumn == 0) {
        ObserveRow(image, row, buffer, true);
    }
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
