// Axial and radial shadings as vignettes.
//
// A shading whose colour is an ink space and whose function is exponential
// (Type 2), a stitching of exponential functions (Type 3 of Type 2), or one
// exponential function per component becomes a vignette: the function is
// sampled in steps (more where the colour changes more, at most one step per
// 1/128 of a component's change) and every step is a paint. The converted
// shading gets a function through the converted steps: per part of the
// original stitching, a stitching of linear pieces between the steps, so that
// the original parts' edges stay where they were. Other shadings (function-
// based, mesh, sampled or calculator functions) are left as they are.
#pragma once

#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/PdfCatalogue.h"

namespace rdz::formats::pdf {

class OutputSpaces;

/// Reads the shading `shading` (painted on `page`, in `context`) once; later
/// uses of the same shading add nothing.
void ReadShading(PdfCatalogue& catalogue, QPDFObjectHandle shading, QPDFObjectHandle resources,
                 int context, int page, const std::string& where);

/// Rewrites every shading whose vignette the conversion changed; `paints`
/// holds the paint of each slot after the conversion. Returns how many
/// shadings it rewrote.
int WriteShadings(PdfCatalogue& catalogue, const std::vector<paint_t*>& paints,
                  OutputSpaces& spaces);

}  // namespace rdz::formats::pdf
