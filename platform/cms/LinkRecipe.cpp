#include "platform/cms/LinkRecipe.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "platform/cms/CleanColors.h"
#include "platform/cms/Fingerprint.h"
#include "platform/cms/InkSaving.h"
#include "platform/cms/LinkProfile.h"
#include "platform/cms/TCleanColorsSettings.h"
#include "platform/cms/TInk.h"
#include "platform/cms/TProc.h"
#include "platform/cms/TProcLinkGCRPar.h"

namespace rdz::cms {

namespace {

constexpr std::size_t kMaxNodes = 2000000;
// Nodes sampled per LittleCMS call: bounds the scratch memory.
constexpr std::size_t kChunk = 65536;

bool IsCmyOrCmyk(const TProc& process) {
    return process.ColorSpace() == cmsSigCmykData || process.ColorSpace() == cmsSigCmyData;
}

bool FineGrid(const TCMS::ProcLinkPar& par) {
    return par.int0x2C >= 2;
}

/// The GCR settings a request applies to its table, or null.
const GcrSettings* AppliedGcr(const LinkRequest& request) {
    const TCMS::ProcLinkPar& par = *request.par;
    if (!par.gcrParameters)
        return nullptr;
    const GcrSettings& settings = par.gcrParameters->Settings();
    if (request.kind == LinkKind::InkSaving)
        return &settings;
    // A colour-space link leaves GCR to the re-separation that follows it
    // when bool0x24 is false; neutral settings change nothing.
    return par.bool0x24 && !settings.Neutral() ? &settings : nullptr;
}

/// The clean colours a request applies, or null.
const TCleanColorsSettings* AppliedCleanColors(const LinkRequest& request) {
    const auto& clean = request.par->cleanColors;
    if (!clean || clean->Empty() || !IsCmyOrCmyk(*request.source) ||
        !IsCmyOrCmyk(*request.destination)) {
        return nullptr;
    }
    return clean.get();
}

std::vector<std::string> ChannelNames(const TProc& process) {
    std::vector<std::string> names;
    for (int c = 0; c < process.NrChannels(); ++c)
        names.push_back(process.Inks()[static_cast<std::size_t>(c)]->Name());
    return names;
}

std::vector<std::array<double, 3>> ChannelLab(const TProc& process) {
    std::vector<std::array<double, 3>> lab;
    for (int c = 0; c < process.NrChannels(); ++c)
        lab.push_back(process.Inks()[static_cast<std::size_t>(c)]->Lab());
    return lab;
}

json::Json ProcessKey(const TProc& process) {
    return json::Json{{"profile", Fingerprint(process.ProfileBytes())},
                      {"channels", ChannelNames(process)}};
}

/// The processes' own ICC encoding (no grey flavour), 16 bits per channel.
std::uint32_t NativeFormat(const TProc& process) {
    return process.PixelFormat(2) & ~static_cast<std::uint32_t>(FLAVOR_SH(1));
}

std::size_t NodeCount(int grid, int nIn) {
    std::size_t nodes = 1;
    for (int c = 0; c < nIn; ++c)
        nodes *= static_cast<std::size_t>(grid);
    return nodes;
}

/// Input value (0..65535) of every channel of node `index`, as LittleCMS
/// places grid nodes.
void NodeValues(std::size_t index, int grid, int nIn, cmsUInt16Number* values) {
    for (int c = nIn - 1; c >= 0; --c) {
        const auto step = static_cast<double>(index % static_cast<std::size_t>(grid));
        values[c] = static_cast<cmsUInt16Number>(std::floor(step * 65535.0 / (grid - 1) + 0.5));
        index /= static_cast<std::size_t>(grid);
    }
}

bool SampleColourSpace(const LinkRequest& request, LinkTable* table, std::string* error) {
    const TProc& src = *request.source;
    const TProc& dst = *request.destination;
    const TCMS::ProcLinkPar& par = *request.par;
    ProfileHandle from = src.OpenProfile();
    ProfileHandle to = dst.OpenProfile();
    cmsUInt32Number flags = cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE;
    if (par.blackPointCompensation)
        flags |= cmsFLAGS_BLACKPOINTCOMPENSATION;
    TransformHandle transform;
    if (from && to) {
        transform.reset(
            cmsCreateTransform(from.get(), NativeFormat(src), to.get(), NativeFormat(dst),
                               static_cast<cmsUInt32Number>(par.renderingIntent - 2), flags));
    }
    if (!transform) {
        *error = "LittleCMS cannot link '" + src.Name() + "' to '" + dst.Name() + "'";
        return false;
    }
    const std::size_t nodes = NodeCount(table->grid, table->nIn);
    const auto nIn = static_cast<std::size_t>(table->nIn);
    const auto nOut = static_cast<std::size_t>(table->nOut);
    table->values.resize(nodes * nOut);
    std::vector<cmsUInt16Number> in(kChunk * nIn);
    std::vector<cmsUInt16Number> out(kChunk * nOut);
    for (std::size_t first = 0; first < nodes; first += kChunk) {
        const std::size_t count = std::min(kChunk, nodes - first);
        for (std::size_t i = 0; i < count; ++i)
            NodeValues(first + i, table->grid, table->nIn, &in[i * nIn]);
        cmsDoTransform(transform.get(), in.data(), out.data(), static_cast<cmsUInt32Number>(count));
        for (std::size_t i = 0; i < count * nOut; ++i)
            table->values[first * nOut + i] = static_cast<float>(out[i] / 65535.0);
    }
    return true;
}

/// The identity table: every node's output is its input.
void SampleIdentity(LinkTable* table) {
    const std::size_t nodes = NodeCount(table->grid, table->nIn);
    const auto nIn = static_cast<std::size_t>(table->nIn);
    table->values.resize(nodes * nIn);
    const float step = 1.0f / static_cast<float>(table->grid - 1);
    for (std::size_t i = 0; i < nodes; ++i) {
        std::size_t rest = i;
        for (std::size_t c = nIn; c-- > 0;) {
            table->values[i * nIn + c] =
                static_cast<float>(rest % static_cast<std::size_t>(table->grid)) * step;
            rest /= static_cast<std::size_t>(table->grid);
        }
    }
}

}  // namespace

int GridPoints(int nrInputs, bool fine) {
    int grid = nrInputs <= 3 ? (fine ? 33 : 17) : nrInputs == 4 ? (fine ? 17 : 9) : (fine ? 7 : 5);
    while (grid > 3 && NodeCount(grid, nrInputs) > kMaxNodes)
        --grid;
    return NodeCount(grid, nrInputs) > kMaxNodes ? 0 : grid;
}

std::string CheckRequest(const LinkRequest& request) {
    if (!request.source || !request.destination || request.par == nullptr)
        return "a link needs its processes and its parameters";
    const TCMS::ProcLinkPar& par = *request.par;
    const bool inkSaving = request.kind == LinkKind::InkSaving;
    if (par.int0x0C != 0 || par.int0x10 != 255 || par.int0x14 != 0 || par.int0x18 != 255)
        return "links are made for channel values 0 (no ink) to 255 (full ink) only";
    if (par.renderingIntent < TCMS::Perceptual || par.renderingIntent > TCMS::AbsoluteColorimetric)
        return "unknown rendering intent " + std::to_string(par.renderingIntent);
    if (par.int0x20 != 0 && par.int0x20 != (inkSaving ? 2 : 3)) {
        return "the record asks for link kind " + std::to_string(par.int0x20) + ", not " +
               (inkSaving ? "2 (ink saving)" : "3 (colour space)");
    }
    if (!inkSaving && !request.destination->UsableAsDestination())
        return "process '" + request.destination->Name() + "' cannot be a destination";
    if (GridPoints(request.source->NrChannels(), FineGrid(par)) == 0)
        return "process '" + request.source->Name() + "' has too many channels for a link table";
    if (inkSaving) {
        if (request.source->ColorSpace() != cmsSigCmykData)
            return "ink saving needs a CMYK process; '" + request.source->Name() + "' is not one";
        if (!par.gcrParameters)
            return "ink saving needs GCR parameters";
    } else if (AppliedGcr(request) != nullptr &&
               request.destination->ColorSpace() != cmsSigCmykData) {
        return "GCR needs a CMYK destination; '" + request.destination->Name() + "' is not one";
    }
    return std::string();
}

json::Json LinkKey(const LinkRequest& request) {
    const TCMS::ProcLinkPar& par = *request.par;
    json::Json key{{"kind", KindName(request.kind)},
                   {"source", ProcessKey(*request.source)},
                   {"grid", GridPoints(request.source->NrChannels(), FineGrid(par))}};
    if (request.kind == LinkKind::ColourSpace) {
        key["destination"] = ProcessKey(*request.destination);
        key["renderingIntent"] = static_cast<int>(par.renderingIntent);
        key["blackPointCompensation"] = par.blackPointCompensation;
    }
    // With the version of the method that applies them: a link stored by an
    // earlier version is computed anew rather than handed back.
    key["gcr"] = json::Json();
    if (const GcrSettings* gcr = AppliedGcr(request)) {
        key["gcr"] = gcr->ToJson();
        key["gcr"]["method"] = kInkSavingMethod;
    }
    key["cleanColors"] = json::Json();
    if (const TCleanColorsSettings* clean = AppliedCleanColors(request)) {
        key["cleanColors"] = clean->ToJson();
        key["cleanColors"]["method"] = kCleanColorsMethod;
    }
    return key;
}

json::Json ParameterRecord(const TCMS::ProcLinkPar& par) {
    json::Json gcr;
    if (par.gcrParameters) {
        gcr = json::Json{{"name", par.gcrParameters->Name()},
                         {"given", par.gcrParameters->Given()},
                         {"settings", par.gcrParameters->Settings().ToJson()}};
    }
    json::Json vector0x5C = json::Json::array();
    for (bool flag : par.vector0x5C)
        vector0x5C.push_back(flag);
    return json::Json{
        {"int0x00", par.int0x00},
        {"int0x04", par.int0x04},
        {"int0x08", par.int0x08},
        {"int0x0C", par.int0x0C},
        {"int0x10", par.int0x10},
        {"int0x14", par.int0x14},
        {"int0x18", par.int0x18},
        {"renderingIntent", static_cast<int>(par.renderingIntent)},
        {"int0x20", par.int0x20},
        {"bool0x24", par.bool0x24},
        {"int0x28", par.int0x28},
        {"int0x2C", par.int0x2C},
        {"int0x30", par.int0x30},
        {"double0x38", std::isfinite(par.double0x38) ? json::Json(par.double0x38) : json::Json()},
        {"gcrParameters", gcr},
        {"sharedPtr0x48", par.sharedPtr0x48 != nullptr},
        {"sharedPtr0x50", par.sharedPtr0x50 != nullptr},
        {"bool0x58", par.bool0x58},
        {"vector0x5C", vector0x5C},
        {"string0x6C", par.string0x6C},
        {"blackPointCompensation", par.blackPointCompensation},
        {"cleanColors", par.cleanColors ? par.cleanColors->ToJson() : json::Json()},
        {"int0x90", par.int0x90},
        {"bool0x94", par.bool0x94},
        {"int0x98", par.int0x98},
        {"int0x9C", par.int0x9C},
        {"vector0xA0", par.vector0xA0.size()},
    };
}

std::shared_ptr<LinkData> ComputeLink(const LinkRequest& request, std::string* error) {
    const TCMS::ProcLinkPar& par = *request.par;
    const TProc& src = *request.source;
    const TProc& dst = *request.destination;
    const bool inkSaving = request.kind == LinkKind::InkSaving;
    LinkTable table;
    table.nIn = src.NrChannels();
    table.nOut = dst.NrChannels();
    table.grid = GridPoints(table.nIn, FineGrid(par));
    // Between two processes of the same profile the link starts as the
    // identity, as two-profile transforms copy such colours unchanged.
    if (inkSaving || (src.SameProfileAs(dst) && table.nIn == table.nOut)) {
        SampleIdentity(&table);
    } else if (!SampleColourSpace(request, &table, error)) {
        return nullptr;
    }
    if (const GcrSettings* gcr = AppliedGcr(request)) {
        if (!Reseparate(dst, *gcr, &table.values, error))
            return nullptr;
    }
    if (const TCleanColorsSettings* clean = AppliedCleanColors(request)) {
        const bool absolute = !inkSaving && par.renderingIntent == TCMS::AbsoluteColorimetric;
        if (!KeepColorsClean(*clean, src, dst, absolute, table.grid, table.nIn, table.nOut,
                             &table.values, error)) {
            return nullptr;
        }
    }

    LinkProfileInfo info;
    info.inputSpace = src.ColorSpace();
    info.outputSpace = dst.ColorSpace();
    // Ink saving keeps every colour as it is: relative colorimetric.
    info.intent = inkSaving ? INTENT_RELATIVE_COLORIMETRIC : par.renderingIntent - 2;
    if (!par.string0x6C.empty()) {
        info.description = par.string0x6C;
    } else if (inkSaving) {
        info.description = "Ink saving on " + src.Name();
    } else {
        info.description = "Device link from " + src.Name() + " to " + dst.Name();
    }
    info.inputNames = ChannelNames(src);
    info.outputNames = ChannelNames(dst);
    info.inputLab = ChannelLab(src);
    info.outputLab = ChannelLab(dst);

    LinkData::Properties properties;
    properties.icc = WriteLinkProfile(table, info, error);
    if (properties.icc.empty())
        return nullptr;
    properties.kind = request.kind;
    properties.source = request.source;
    properties.destination = request.destination;
    properties.sourceChannels = info.inputNames;
    properties.destinationChannels = info.outputNames;
    properties.renderingIntent = inkSaving ? TCMS::RelativeColorimetric : par.renderingIntent;
    properties.grid = table.grid;
    properties.key = LinkKey(request);
    properties.parameters = ParameterRecord(par);
    counters::LinkComputed();
    return std::make_shared<LinkData>(std::move(properties));
}

}  // namespace rdz::cms
