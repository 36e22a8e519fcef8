// How a conversion treats two kinds of input ink that are not plain colours:
// the registration ink, which prints on every plate, and the opacity with
// which a spot ink covers what lies below it (OverprintModel.h).
#pragma once

#include <vector>

#include "host/CMS.h"

class TInk;

namespace rdz::cms {

/// The name documents give the registration colour (in PDF the separation
/// name for every colorant): an ink of this name built from a document's
/// colour values (TIDB_GetColorInk) is the registration ink.
constexpr const char* kRegistrationInkName = "All";

/// True for the registration ink.
bool IsRegistrationInk(const TInk& ink);

/// The colour of the registration ink: 100% of every process channel of the
/// destination (kind kProcessChannel in `outputs`), nothing in the other
/// output channels, as percentages per output channel.
std::vector<double> RegistrationValues(const std::vector<TCMS::InkInfo>& outputs);

/// The opacity (0 transparent .. 1 opaque) a spot ink is mixed with. An ink
/// of the database (an ink-book ink, or a spot ink of a process) has the
/// opacity its book gives it, whatever `given` says: books hold partial
/// opacities (0.6 for a metallic) that a document's opaque flag cannot. An
/// ink built from a document's colour values takes `*given` (the caller's
/// value for its channel, clamped to 0..1) when `given` is not null and
/// finite, else its own.
double MixingOpacity(const TInk& ink, const double* given);

}  // namespace rdz::cms
