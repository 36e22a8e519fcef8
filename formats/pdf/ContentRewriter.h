// Rewriting the colour operators of content streams.
//
// A colour whose paint the conversion changed is written in its new space
// (OutputSpaces); one it did not change keeps its bytes. Where a rewritten
// colour changed the colour space in force and a later sc/scn that stays
// relies on the old one, the old space is set again before it. Content that
// painted in the initial colour gets the converted initial colour set at its
// start. Of a page's several content streams only those with changes are
// replaced (all of them, as one stream, when a change spans two).
#pragma once

#include <vector>

#include "formats/pdf/PdfCatalogue.h"

namespace rdz::formats::pdf {

class OutputSpaces;

/// Rewrites the unit's streams. `paints` holds the paint of each slot after
/// the conversion. Returns the number of colour operators (and inline
/// images) rewritten.
int RewriteUnit(PdfCatalogue& catalogue, ContentUnit& unit, const std::vector<paint_t*>& paints,
                OutputSpaces& spaces);

}  // namespace rdz::formats::pdf
