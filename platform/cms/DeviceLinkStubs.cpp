// Device links, ink saving and clean colours are not built yet: every entry
// point answers with its failure value (an empty object or -1), so callers
// see the work refused rather than a link that does nothing.
#include "host/CMS.h"

std::shared_ptr<TColTransf> TCMS_ColTransfNew(std::shared_ptr<TCMSLibrary> /*lib*/,
                                              TCMS::ColTransfType /*type*/, const char* /*product*/,
                                              const char* /*linkName*/,
                                              TCMS::Resolution /*resolution*/) {
    return nullptr;
}

int TCMS_ProcLinkDBNewProduct(std::shared_ptr<TCMSLibrary> /*lib*/, const char* /*product*/) {
    return -1;
}

std::shared_ptr<TProcLinkGCRPar> TCMS_ProcLinkGCRParDBNew(
    std::shared_ptr<TCMSLibrary> /*lib*/, const char* /*name*/, double /*d0*/, double /*d1*/,
    double /*d2*/, double /*d3*/, const double* /*curve4a*/, const double* /*curve4b*/,
    const double* /*curve3*/, int /*i0*/, int /*i1*/) {
    return nullptr;
}

std::shared_ptr<TProcLinkGCRPar> TCMS_ProcLinkGCRParNewInkSaving(
    const char* /*name*/, TCMS::BlackGenMode /*purpose*/, double /*totalInk*/, double /*startK*/,
    double /*maximumK*/, double /*range*/) {
    return nullptr;
}

std::shared_ptr<TProcLink> TCMS_ProcLinkNew(std::shared_ptr<TCMSLibrary> /*lib*/,
                                            const char* /*product*/, std::shared_ptr<TProc> /*src*/,
                                            std::shared_ptr<TProc> /*dst*/,
                                            const TCMS::ProcLinkPar& /*par*/) {
    return nullptr;
}

std::shared_ptr<TProcLink> TCMS_ProcLinkGCRNew(std::shared_ptr<TCMSLibrary> /*lib*/,
                                               const char* /*product*/,
                                               std::shared_ptr<TProc> /*proc*/,
                                               const TCMS::ProcLinkPar& /*par*/) {
    return nullptr;
}

std::shared_ptr<TProcLink> TCMS_ProcLinkDBNew(std::shared_ptr<TCMSLibrary> /*lib*/,
                                              const char* /*product*/, const char* /*name*/,
                                              int /*inMin*/, int /*inMax*/, int /*outMin*/,
                                              int /*outMax*/) {
    return nullptr;
}

const char* TCMS_ProcLinkGetName(std::shared_ptr<TProcLink> /*link*/) {
    return "";
}

int TCMS_ProcLinkSetName(std::shared_ptr<TProcLink> /*link*/, const char* /*name*/) {
    return -1;
}

int TCMS_ProcLinkSaveInDB(std::shared_ptr<TProcLink> /*link*/, int /*overwrite*/) {
    return -1;
}

int TCMS_ProcLinkFlushDB(std::shared_ptr<TCMSLibrary> /*lib*/) {
    return -1;
}

int TCMS_ProcLinkMakeAcceleration(std::shared_ptr<TProcLink> /*link*/, bool /*enable*/) {
    return -1;
}

std::shared_ptr<TCleanColorsSettings> TCMS_CleanColorsSettingsNew() {
    return nullptr;
}

int TCMS_CleanColorsSettingsAddPrimary(std::shared_ptr<TCleanColorsSettings> /*settings*/,
                                       int /*channel*/) {
    return -1;
}

int TCMS_CleanColorsSettingsAddSecondary(std::shared_ptr<TCleanColorsSettings> /*settings*/,
                                         int /*channel1*/, int /*channel2*/) {
    return -1;
}
