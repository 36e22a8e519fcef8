// Channel names of a LittleCMS profile side.
#pragma once

#include <lcms2.h>

#include <string>

#include "engine/TintColorSpace.h"

/// Name of channel `index` of one side of `profile`:
/// - if the profile has the colorant-table tag `tag` ('clrt' or 'clot'), the
///   table's entry `index`, or "INVALID" for an index beyond its entries; an
///   unreadable table throws TintException(`unreadableTableMessage`);
/// - otherwise, for an ICC major version 2 profile, the default name of
///   `space` ("INVALID" beyond its names); for any other version, or a space
///   without default names, TintException("unable to get colorant names").
/// Leaves the profile unchanged.
std::string TintLittleCMSColorantName(cmsHPROFILE profile, cmsTagSignature tag,
                                      TintColorSpace space, const char* unreadableTableMessage,
                                      unsigned int index);
