// Computing a device link from a parameter record (TCMS::ProcLinkPar), and
// the key by which a stored link made from the same request is found again.
// What each field of the record means to this library: README.md.
#pragma once

#include <memory>
#include <string>

#include "host/CMS.h"
#include "platform/cms/JsonReader.h"
#include "platform/cms/LinkData.h"

namespace rdz::cms {

struct LinkRequest {
    LinkKind kind = LinkKind::ColourSpace;
    std::shared_ptr<const TProc> source;
    std::shared_ptr<const TProc> destination;  // ink saving: the source again
    const TCMS::ProcLinkPar* par = nullptr;
};

/// Empty when the request can be computed; otherwise why not.
std::string CheckRequest(const LinkRequest& request);

/// What identifies the link a (checked) request computes: its kind; each
/// process by profile fingerprint and channel names; and every setting that
/// changes the table (intent and black point compensation of colour-space
/// links, table grid, the GCR settings that apply, clean colours that apply).
json::Json LinkKey(const LinkRequest& request);

/// Every field of the record as given, for the link's JSON.
json::Json ParameterRecord(const TCMS::ProcLinkPar& par);

/// Computes the link of a checked request. Null with the reason in `*error`.
std::shared_ptr<LinkData> ComputeLink(const LinkRequest& request, std::string* error);

/// Table points per input channel: LittleCMS's usual precalculation grid
/// (33 for up to 3 inputs, 17 for 4, 7 for more) when `fine`, otherwise a
/// coarse one (17, 9, 5); fewer for very many inputs, so that a table never
/// has more than 2,000,000 nodes; 0 when even 3 points are too many.
int GridPoints(int nrInputs, bool fine);

}  // namespace rdz::cms
