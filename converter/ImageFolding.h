// Folding the plane maps of image placements into their image definitions.
//
// A placement can colour the planes of its definition with paints (a plane
// map). When every plane paint is a single ink, the map can be folded: the
// definition's plane inks become those inks and the map is dropped, so that the
// image's pixels can be converted like any other.
#pragma once

#include <vector>

#include "host/kelt_db.h"

/// The single ink of every plane of `placement`'s plane map (null for a plane
/// without a paint) in `inks`. False when some plane paint has no single ink.
bool FoldedPlaneInks(ct_object_t* placement, std::vector<inkt_t*>& inks);

/// Sets the leave-unconverted flag (0x20000) on every image definition of
/// `document` that cannot be folded for all its placements alike: one of its
/// placements has a plane paint without a single ink, or two placements fold
/// to different inks. Such a definition keeps every plane map.
void MarkUnfoldableDefinitions(document_object_t* document);
