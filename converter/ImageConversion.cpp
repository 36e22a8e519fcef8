// The image pass: plane maps folded into definitions, definitions rewritten
// row by row through the pixel transform.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "converter/ImageFolding.h"
#include "converter/TColorConverter.h"

namespace {

constexpr unsigned int kLeaveUnconverted = 0x20000;

}  // namespace

void TColorConverter::ConvertCTO_CB(void* object, obj_apply_data_t converter) {
    reinterpret_cast<TColorConverter*>(converter)->ConvertCTO(object);
}

void TColorConverter::ConvertCTO(void* object) {
    auto* obj = static_cast<document_object_t*>(object);
    if (OBJ_is_ct_object(obj) == 0) {
        return;
    }
    auto* placement = static_cast<ct_object_t*>(obj);
    ct_def_t* definition = placement->definition;
    if (placement->planeMapUsed == 0 || definition == nullptr) {
        return;
    }
    // A definition that stays unconverted keeps the plane maps of its
    // placements: their paints are converted in the paint pass instead.
    if ((definition->flags & kLeaveUnconverted) != 0) {
        return;
    }
    std::vector<inkt_t*> inks;
    if (!FoldedPlaneInks(placement, inks)) {
        definition->flags |= kLeaveUnconverted;
        return;
    }
    std::copy(inks.begin(), inks.end(), definition->inks);
    CTO_reset_planemap(placement);
}

bool TColorConverter::ImageRequiresConversion(int nrInks, inkt_t** inks) const {
    return DoImageRequiresConversion(nrInks, inks);
}

void TColorConverter::ConvertCTDef(ct_def_t* definition) {
    const int nrInks = definition->nrInks;
    std::vector<int> inputIndex(static_cast<size_t>(nrInks), -1);
    std::vector<int> exceptionIndex(static_cast<size_t>(nrInks), -1);
    int nrExceptionPlanes = 0;
    for (int p = 0; p < nrInks; ++p) {
        inkt_t* ink = definition->inks[p];
        if (ink == nullptr) {
            continue;
        }
        inputIndex[static_cast<size_t>(p)] = getSrcIndex(ink);
        exceptionIndex[static_cast<size_t>(p)] = getImageExceptionIndex(ink);
        if (exceptionIndex[static_cast<size_t>(p)] >= 0) {
            ++nrExceptionPlanes;
        }
    }

    if (!makeAllImagesInternal && !ImageRequiresConversion(nrInks, definition->inks)) {
        return;
    }

    CT_make_internal(definition);
    cti_image_t* source = CT_internal_handle(definition);
    const bool hasAlpha = CT_contains_alpha(definition) != 0;
    // A source image with fewer planes than the definition names cannot be
    // read plane by plane: leave the definition as it is.
    if (source == nullptr || CTI_nplanes(source) < nrInks + (hasAlpha ? 1 : 0)) {
        return;
    }

    const int nrTargetInks = nrOutputInks + nrExceptionPlanes;
    soa_t* targetInks = SOA_create(nrTargetInks);
    for (int k = 0; k < nrOutputInks; ++k) {
        SOA_set_object(targetInks, k, outputInks[static_cast<size_t>(k)]);
    }
    for (int p = 0, k = nrOutputInks; p < nrInks; ++p) {
        if (exceptionIndex[static_cast<size_t>(p)] >= 0) {
            SOA_set_object(targetInks, k++, definition->inks[p]);
        }
    }
    cti_image_t* target =
        CTI_create(definition->ctParam1, definition->ctParam2, definition->ctParam3,
                   definition->height, definition->width,
                   hasAlpha ? CTI_KIND_PLANES_ALPHA : CTI_KIND_PLANES, 8, targetInks, 0, 0);
    if (target == nullptr) {
        return;
    }

    const size_t width = static_cast<size_t>(definition->width);
    const size_t nIn = static_cast<size_t>(nrInputInks);
    const size_t nOut = static_cast<size_t>(nrOutputChannels);
    std::vector<unsigned char> sourceRow, inputPixels, outputPixels, targetRow;
    try {
        sourceRow.resize(width * static_cast<size_t>(CTI_nplanes(source)));
        inputPixels.resize(width * nIn);
        outputPixels.resize(width * nOut);
        targetRow.resize(width * static_cast<size_t>(nrTargetInks + (hasAlpha ? 1 : 0)));
    } catch (const std::bad_alloc&) {
        // Not enough memory for one row: the definition stays as it was.
        CTI_release(target);
        return;
    }

    // Output channels that are written back, in target plane order.
    std::vector<size_t> keptChannels;
    for (int c = 0; c < nrOutputChannels; ++c) {
        if (skippedOutputChannels.count(c) == 0) {
            keptChannels.push_back(static_cast<size_t>(c));
        }
    }

    for (int row = 0; row < definition->height; ++row) {
        if (CTI_getrow_line_il(source, row, 0, 0, sourceRow.data()) != 0) {
            CTI_release(target);
            return;
        }
        std::fill(inputPixels.begin(), inputPixels.end(), 0);
        for (int p = 0; p < nrInks; ++p) {
            const int j = inputIndex[static_cast<size_t>(p)];
            if (j < 0) {
                continue;
            }
            const unsigned char* plane = sourceRow.data() + static_cast<size_t>(p) * width;
            unsigned char* in = inputPixels.data() + j;
            for (size_t x = 0; x < width; ++x, in += nIn) {
                *in = plane[x];
            }
        }

        // A transform that fails leaves the definition as it was, rather
        // than installing an image made of whatever the buffer held.
        std::fill(outputPixels.begin(), outputPixels.end(), 0);
        if (Convert(inputPixels.data(), outputPixels.data(), definition->width, false) != 0) {
            CTI_release(target);
            return;
        }

        unsigned char* targetPlane = targetRow.data();
        for (size_t c : keptChannels) {
            const unsigned char* out = outputPixels.data() + c;
            for (size_t x = 0; x < width; ++x, out += nOut) {
                targetPlane[x] = *out;
            }
            targetPlane += width;
        }
        for (int p = 0; p < nrInks; ++p) {
            if (exceptionIndex[static_cast<size_t>(p)] >= 0) {
                std::memcpy(targetPlane, sourceRow.data() + static_cast<size_t>(p) * width, width);
                targetPlane += width;
            }
        }
        if (hasAlpha) {
            std::memcpy(targetPlane, sourceRow.data() + static_cast<size_t>(nrInks) * width, width);
        }
        if (CTI_putrow_line_il(target, targetRow.data(), row, 0, 0) != 0) {
            CTI_release(target);
            return;
        }
    }
    CT_set_internal(definition, target);
}
