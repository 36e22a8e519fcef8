// The device-link, ink-saving and clean-colour functions of the CMS library,
// and the transform that applies a stored link. What the parameters mean to
// this library, and the store's format: README.md.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/CMS.h"
#include "platform/cms/LinkData.h"
#include "platform/cms/LinkRecipe.h"
#include "platform/cms/LinkStore.h"
#include "platform/cms/Messages.h"
#include "platform/cms/StandIn.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TCleanColorsSettings.h"
#include "platform/cms/TColTransf.h"
#include "platform/cms/TProc.h"
#include "platform/cms/TProcLink.h"
#include "platform/cms/TProcLinkGCRPar.h"

using rdz::cms::json::Json;

namespace {

void Refuse(const std::string& why) {
    rdz::cms::Say(rdz::cms::MessageLevel::Error, "CMS device link: " + why);
}

std::shared_ptr<TProcLink> MakeLink(const std::shared_ptr<TCMSLibrary>& lib, const char* product,
                                    rdz::cms::LinkKind kind, const std::shared_ptr<TProc>& source,
                                    const std::shared_ptr<TProc>& destination,
                                    const TCMS::ProcLinkPar& par) {
    if (!lib || product == nullptr || !rdz::cms::LinkNameFault(product).empty()) {
        Refuse("a link needs an open database and a usable product name");
        return nullptr;
    }
    const rdz::cms::LinkRequest request{kind, source, destination, &par};
    std::string why = rdz::cms::CheckRequest(request);
    if (!why.empty()) {
        Refuse(why);
        return nullptr;
    }
    // A link made from the same request before is handed back as stored,
    // under its name, and nothing is computed.
    const Json key = rdz::cms::LinkKey(request);
    std::string name;
    if (std::shared_ptr<rdz::cms::LinkData> stored =
            lib->Links().FindByKey(*lib, product, key, &name)) {
        return std::make_shared<TProcLink>(lib, product, std::move(stored), name);
    }
    // Another program (or thread) may be computing the same link: wait for
    // our turn and look again, so that the link is computed and stored once.
    std::shared_ptr<void> claim = lib->Links().Claim(product);
    if (claim) {
        if (std::shared_ptr<rdz::cms::LinkData> stored =
                lib->Links().FindByKey(*lib, product, key, &name)) {
            return std::make_shared<TProcLink>(lib, product, std::move(stored), name);
        }
    }
    std::shared_ptr<rdz::cms::LinkData> data = rdz::cms::ComputeLink(request, &why);
    if (!data) {
        Refuse(why);
        return nullptr;
    }
    // The caller names and stores the new link; others wait until then.
    lib->Links().KeepClaimUntilStored(std::move(claim), data);
    return std::make_shared<TProcLink>(lib, product, std::move(data), std::string());
}

Json Numbers(const double* values, int count) {
    if (values == nullptr)
        return Json();
    Json list = Json::array();
    for (int i = 0; i < count; ++i)
        list.push_back(std::isfinite(values[i]) ? Json(values[i]) : Json());
    return list;
}

}  // namespace

// ---------------------------------------------------------------------------
// GCR parameters

std::shared_ptr<TProcLinkGCRPar> TCMS_ProcLinkGCRParDBNew(
    std::shared_ptr<TCMSLibrary> lib, const char* name, double d0, double d1, double d2, double d3,
    const double* curve4a, const double* curve4b, const double* curve3, int i0, int i1) {
    if (!lib || i1 < TCMS::BlackGenModeNone || i1 > TCMS::BlackGenModeHeavy)
        return nullptr;
    rdz::cms::GcrSettings settings;
    if (!rdz::cms::ReadFourNumbers(d0, d1, d2, d3, &settings))
        return nullptr;
    settings.purpose = i1;
    settings.keepBlackOnly = i0 != 0;
    for (int c = 0; curve4a != nullptr && c < 4; ++c) {
        if (!std::isfinite(curve4a[c]))
            return nullptr;
        settings.channelLimit[static_cast<std::size_t>(c)] = std::clamp(1.0 - curve4a[c], 0.0, 1.0);
    }
    // The other two arrays hold settings this library does not have: only
    // zeros (nothing asked) are accepted, so that nothing is silently ignored.
    for (int c = 0; curve4b != nullptr && c < 4; ++c) {
        if (curve4b[c] != 0.0)
            return nullptr;
    }
    for (int c = 0; curve3 != nullptr && c < 3; ++c) {
        if (curve3[c] != 0.0)
            return nullptr;
    }
    const Json given{{"form", "database"},
                     {"numbers", {d0, d1, d2, d3}},
                     {"curve4a", Numbers(curve4a, 4)},
                     {"curve4b", Numbers(curve4b, 4)},
                     {"curve3", Numbers(curve3, 3)},
                     {"ints", {i0, i1}}};
    return std::make_shared<TProcLinkGCRPar>(name == nullptr ? "" : name, settings, given);
}

std::shared_ptr<TProcLinkGCRPar> TCMS_ProcLinkGCRParNewInkSaving(const char* name,
                                                                 TCMS::BlackGenMode purpose,
                                                                 double totalInk, double startK,
                                                                 double maximumK, double range) {
    if (purpose < TCMS::BlackGenModeNone || purpose > TCMS::BlackGenModeHeavy)
        return nullptr;
    rdz::cms::GcrSettings settings;
    if (!rdz::cms::ReadFourNumbers(totalInk, startK, maximumK, range, &settings))
        return nullptr;
    settings.purpose = purpose;
    settings.keepBlackOnly = true;
    const Json given{{"form", "ink saving"},
                     {"purpose", static_cast<int>(purpose)},
                     {"numbers", {totalInk, startK, maximumK, range}}};
    return std::make_shared<TProcLinkGCRPar>(name == nullptr ? "" : name, settings, given);
}

// ---------------------------------------------------------------------------
// Links

int TCMS_ProcLinkDBNewProduct(std::shared_ptr<TCMSLibrary> lib, const char* product) {
    if (!lib || product == nullptr)
        return -1;
    return lib->Links().AddProduct(product);
}

std::shared_ptr<TProcLink> TCMS_ProcLinkNew(std::shared_ptr<TCMSLibrary> lib, const char* product,
                                            std::shared_ptr<TProc> src, std::shared_ptr<TProc> dst,
                                            const TCMS::ProcLinkPar& par) {
    return MakeLink(lib, product, rdz::cms::LinkKind::ColourSpace, src, dst, par);
}

std::shared_ptr<TProcLink> TCMS_ProcLinkGCRNew(std::shared_ptr<TCMSLibrary> lib,
                                               const char* product, std::shared_ptr<TProc> proc,
                                               const TCMS::ProcLinkPar& par) {
    return MakeLink(lib, product, rdz::cms::LinkKind::InkSaving, proc, proc, par);
}

std::shared_ptr<TProcLink> TCMS_ProcLinkDBNew(std::shared_ptr<TCMSLibrary> lib, const char* product,
                                              const char* name, int inMin, int inMax, int outMin,
                                              int outMax) {
    if (!lib || product == nullptr || name == nullptr)
        return nullptr;
    // Links hold channel values 0 (no ink) to 255 (full ink); other ranges
    // are for TCMS_ColTransfInitConvert to map.
    if (inMin != 0 || inMax != 255 || outMin != 0 || outMax != 255)
        return nullptr;
    std::shared_ptr<rdz::cms::LinkData> data = lib->Links().FindByName(*lib, product, name);
    if (!data)
        return nullptr;
    return std::make_shared<TProcLink>(lib, product, std::move(data), name);
}

const char* TCMS_ProcLinkGetName(std::shared_ptr<TProcLink> link) {
    return link ? link->Name().c_str() : "";
}

int TCMS_ProcLinkSetName(std::shared_ptr<TProcLink> link, const char* name) {
    if (!link || name == nullptr || !rdz::cms::LinkNameFault(name).empty())
        return -1;
    link->SetName(name);
    return 0;
}

int TCMS_ProcLinkSaveInDB(std::shared_ptr<TProcLink> link, int overwrite) {
    if (!link || link->Name().empty())
        return -1;
    return link->Library().Links().Save(link->Product(), link->Name(), link->Data(),
                                        overwrite != 0);
}

int TCMS_ProcLinkFlushDB(std::shared_ptr<TCMSLibrary> lib) {
    return lib ? lib->Links().Flush() : -1;
}

int TCMS_ProcLinkMakeAcceleration(std::shared_ptr<TProcLink> link, bool enable) {
    if (!link)
        return -1;
    if (!enable) {
        link->Data()->DropAcceleration();
        return 0;
    }
    std::string error;
    if (!link->Data()->Accelerate(&error)) {
        Refuse("link '" + link->Name() + "': " + error);
        return -1;
    }
    return 0;
}

std::shared_ptr<TColTransf> TCMS_ColTransfNew(std::shared_ptr<TCMSLibrary> lib,
                                              TCMS::ColTransfType type, const char* product,
                                              const char* linkName, TCMS::Resolution resolution) {
    if (!lib || product == nullptr || linkName == nullptr)
        return nullptr;
    std::shared_ptr<rdz::cms::LinkData> data = lib->Links().FindByName(*lib, product, linkName);
    if (!data)
        return nullptr;
    rdz::cms::StrategyDef def;
    def.name = linkName;
    def.type = type;
    def.product = product;
    def.source = data->Source();
    def.destination = data->Destination();
    def.sourceChannelNames = data->SourceChannels();
    def.destinationChannelNames = data->DestinationChannels();
    def.renderingIntent = data->RenderingIntent();
    def.resolution =
        resolution == TCMS::ResolutionHigh ? TCMS::ResolutionHigh : TCMS::ResolutionLow;
    def.link = std::move(data);
    return std::make_shared<TColTransf>(lib, std::move(def));
}

// ---------------------------------------------------------------------------
// Clean colours

std::shared_ptr<TCleanColorsSettings> TCMS_CleanColorsSettingsNew() {
    return std::make_shared<TCleanColorsSettings>();
}

int TCMS_CleanColorsSettingsAddPrimary(std::shared_ptr<TCleanColorsSettings> settings,
                                       int channel) {
    return settings && settings->AddPrimary(channel) ? 0 : -1;
}

int TCMS_CleanColorsSettingsAddSecondary(std::shared_ptr<TCleanColorsSettings> settings,
                                         int channel1, int channel2) {
    return settings && settings->AddSecondary(channel1, channel2) ? 0 : -1;
}

// ---------------------------------------------------------------------------
// Stand-in controls

namespace rdz::cms {

std::vector<std::string> LinkErrors() {
    const std::shared_ptr<TCMSLibrary> lib = TCMS_GetLib();
    return lib ? lib->Links().Errors() : std::vector<std::string>();
}

}  // namespace rdz::cms
