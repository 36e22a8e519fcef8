// The ink-saving reseparation transform and the store of computed device links.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "host/zqmsg.h"
#include "profile/NewLinkName.h"
#include "profile/ReseparationProduct.h"
#include "profile/TColorConverter_ProfileToProfile.h"

std::shared_ptr<TColTransf> TColorConverter_ProfileToProfile::CreateReseparationStrategy(
    bool convert) {
    std::string name;
    if (options.GetrodadazErivospace()) {
        name = options.GetDestinationProfile();
    } else {
        name = options.GetSourceProfile();
        if (options.GetUseDocumentProfile() && GetDocumentProfile(&name) != 0) {
            return nullptr;
        }
    }
    if (!convert) {
        return TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, kReseparationProduct,
                                 name.c_str(), name.c_str(), TCMS::ResolutionHigh,
                                 TCMS::BlackGenerationNone, TCMS::RelativeColorimetric, 0, nullptr,
                                 nullptr);
    }

    if (!reseparationLink) {
        std::shared_ptr<TProc> profile = TCMS_ProcDBNew(TCMS_GetLib(), name.c_str());
        if (!profile) {
            MSG_Error("Profile '%s' from ticket not found?", name.c_str());
            throw std::exception();
        }
        if (options.GetrodadazErivospace()) {
            intermediateInkCount = TCMS_ProcGetNrInks(profile);
            intermediateInks = TCMS_ProcGetInks(profile);
        }
        // The option values go over as they stand: total ink in percent of
        // one ink's 100 (so 400 for four inks), the black settings likewise.
        std::shared_ptr<TProcLinkGCRPar> inkSaving = TCMS_ProcLinkGCRParNewInkSaving(
            nullptr, options.GetPurpose(), 1.0 - 0.25 * options.GetTotalInk(),
            1.0 - options.GetStartK(), 1.0 - options.GetMaximumK(), options.GetRange());
        if (!inkSaving) {
            std::fputs(" - error loading ink saving parameters\n", stdout);
            std::fflush(stdout);
            return nullptr;
        }
        TCMS_ProcLinkDBNewProduct(TCMS_GetLib(), kReseparationProduct);

        TCMS::ProcLinkPar parameters;
        parameters.renderingIntent = TCMS::RelativeColorimetric;
        parameters.int0x20 = 2;
        parameters.int0x2C = 2;
        parameters.gcrParameters = inkSaving;
        reseparationLink =
            TCMS_ProcLinkGCRNew(TCMS_GetLib(), kReseparationProduct, profile, parameters);
        if (!reseparationLink) {
            std::fputs(" - error creating ink saving device link\n", stdout);
            std::fflush(stdout);
            return nullptr;
        }
        if (CacheDeviceLink(reseparationLink, kReseparationLinkPrefix) != 0) {
            reseparationLink.reset();
            return nullptr;
        }
    }
    std::shared_ptr<TColTransf> transform =
        TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, kReseparationProduct,
                          TCMS_ProcLinkGetName(reseparationLink), TCMS::ResolutionHigh);
    if (!transform) {
        reseparationLink.reset();
    }
    return transform;
}

int TColorConverter_ProfileToProfile::CacheDeviceLink(std::shared_ptr<TProcLink> link,
                                                      const char* prefix) {
    const char* current = TCMS_ProcLinkGetName(link);
    if (current != nullptr && std::strstr(current, prefix) != nullptr) {
        // Stored by an earlier conversion: only make it fast.
        return TCMS_ProcLinkMakeAcceleration(link, true) == 0 ? 0 : -1;
    }
    std::string candidate;
    for (;;) {
        candidate = prefix + NewLinkName();
        std::shared_ptr<TProcLink> taken = TCMS_ProcLinkDBNew(
            TCMS_GetLib(), kReseparationProduct, candidate.c_str(), 0, 255, 0, 255);
        if (!taken) {
            break;
        }
    }
    TCMS_ProcLinkSetName(link, candidate.c_str());
    TCMS_ProcLinkSaveInDB(link, 1);
    TCMS_ProcLinkFlushDB(TCMS_GetLib());
    return 0;
}
