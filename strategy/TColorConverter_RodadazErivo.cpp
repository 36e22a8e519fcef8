// Set-up of a Color Strategy conversion and the pixel operations.
#include "strategy/TColorConverter_RodadazErivo.h"

#include <exception>
#include <set>
#include <string>
#include <vector>

#include "host/zqmsg.h"

namespace {

/// Names longer than this are exported strategy texts, not names.
constexpr size_t kLongestStrategyName = 256;

const char* TypeMismatchMessage(TCMS::ColTransfType requested) {
    switch (requested) {
        case TCMS::ColTransfTypeOrvex:
            return "Color Strategy %s is not an Orvex Color Strategy!";
        case TCMS::ColTransfTypeDigitalPrinting:
            return "Color Strategy %s is not a Digital Printing Color Strategy!";
        default:
            return "Color Strategy %s is not the right type of Color Strategy!";
    }
}

}  // namespace

TColorConverter_RodadazErivo::TColorConverter_RodadazErivo(
    document_object_t* document, TGeneralColorConverterOptions& generalOptions,
    TRodadazErivoOptions& strategyOptions)
    : TColorConverter(document, generalOptions), options(strategyOptions) {}

TColorConverter_RodadazErivo::TColorConverter_RodadazErivo(
    const TColorConverter_RodadazErivo& other) = default;

TColorConverter_RodadazErivo::~TColorConverter_RodadazErivo() = default;

int TColorConverter_RodadazErivo::Init() {
    if (TColorConverter::Init() != 0) {
        return -1;
    }
    const TGeneralColorConverterOptions& general = GetGeneralOptions();
    if (!general.GetFlatten()) {
        SetMakeAllImagesInternal(false);
    }
    IDB_count_inks();

    const std::string name = options.GetColorStrategy();
    const TCMS::ColTransfType requestedType = options.GetStrategyType();
    strategy = TCMS_ColTransfDBNew(TCMS_GetLib(), name.c_str());
    const bool foundInDatabase = static_cast<bool>(strategy);
    if (!foundInDatabase) {
        bool imported = false;
        if (name.size() > kLongestStrategyName) {
            strategy = TCMS_ColTransfNew(TCMS_GetLib(), requestedType);
            imported = strategy && TCMS_ColTransfImportFromStream(strategy, name.c_str()) == 0;
        }
        if (!imported) {
            MSG_Error("Color Strategy %s was not found in the CMS database.", name.c_str());
            strategy.reset();
            throw std::exception();
        }
    }
    if (foundInDatabase && requestedType != TCMS::ColTransfTypeAny &&
        TCMSDB_ColTransfGetType(TCMS_GetLib(), name.c_str()) != requestedType) {
        MSG_Error(TypeMismatchMessage(requestedType), name.c_str());
        strategy.reset();
        throw std::exception();
    }

    InkSettings settings;
    settings.convertOpaqueInks = TCMS_ColTransfGetConvertOpaqueInks(strategy) != 0;
    settings.convertUnregisteredInks = TCMS_ColTransfGetConvertUnregisteredInks(strategy) != 0;
    settings.convertTechnicalInks = requestedType != TCMS::ColTransfTypeOrvex;
    settings.convertVarnishInks = requestedType != TCMS::ColTransfTypeOrvex;
    settings.policy = options.GetInkNotInStrategyPolicy();
    DecideInks(settings);

    // Nothing of the process colours is to change: map the destination
    // profile onto itself.
    if (!general.GetConvertCMYKImages() && !general.GetConvertCMYKLinework()) {
        const char* destination = nullptr;
        TCMS_ColTransfGetSrcDstProfileNames(strategy, nullptr, &destination, true);
        TCMS::ColTransfProfileUpdateSettings update{};
        TCMS_ColTransfSetSrcDstProfiles(strategy, destination, destination,
                                        TCMS::RecalculateAdvItemNo, nullptr, nullptr, update);
        TCMS_ColTransfSetDeviceLinkPolicy(strategy, TCMS::DeviceLinkPolicyProfiles, nullptr,
                                          nullptr);
    }

    TCMS_ColTransfInitOutputSpace(strategy, GetInputInks());
    const std::vector<TCMS::InkInfo> channels = TCMS_ColTransfGetNamesOfOutputInks(strategy, false);
    TCMS_ColTransfInitConvert(strategy, GetInputInks(), GetInputOpacity(), GetNrInputInks(), 0, 255,
                              static_cast<int>(channels.size()), 0, 255, 1, 0,
                              std::function<int(void*, int, int)>(), std::vector<bool>(), nullptr,
                              nullptr, nullptr, false);
    const std::vector<TCMS::InkInfo> printed = TCMS_ColTransfGetNamesOfOutputInks(strategy, true);

    // Channels the strategy computes but does not print get no document ink.
    std::set<int> skipped;
    for (size_t j = 0; j < channels.size(); ++j) {
        bool isPrinted = false;
        for (const TCMS::InkInfo& info : printed) {
            if (info == channels[j]) {
                isPrinted = true;
                break;
            }
        }
        if (!isPrinted) {
            skipped.insert(static_cast<int>(j));
        }
    }
    AddOutputInks(static_cast<int>(channels.size()), channels, skipped);
    return 0;
}

int TColorConverter_RodadazErivo::Convert(const unsigned char* in, unsigned char* out, int n,
                                          bool /*linework*/) {
    return TCMS_ColTransfConvertAligned(strategy, in, out, n);
}

bool TColorConverter_RodadazErivo::DoImageRequiresConversion(int nrInks, inkt_t** inks) const {
    const int nrInputs = GetNrInputInks();
    std::vector<int> used(static_cast<size_t>(nrInputs), 0);
    for (int p = 0; p < nrInks; ++p) {
        const int index = getSrcIndex(inks[p]);
        if (index >= 0 && index < nrInputs) {
            used[static_cast<size_t>(index)] = 1;
        }
    }
    return TCMS_ColTransfSampleNeedsConvert(strategy, used.data()) > 0;
}

void TColorConverter_RodadazErivo::End() {
    TCMS_ColTransfEndConvert(strategy, false);
    strategy.reset();
    TColorConverter::End();
}
