// The colour-space conversion transform: source profile to destination
// profile through a stored device link, with the rendering-intent and black
// point compensation rules and the clean colours.
#include <exception>
#include <string>

#include "host/zqmsg.h"
#include "profile/ReseparationProduct.h"
#include "profile/TColorConverter_ProfileToProfile.h"

namespace {

void ReportMissingProfile(const std::string& name) {
    MSG_Error("Profile '%s' from ticket not found?", name.c_str());
}

/// Applies the destination's limits on the rendering intent, with a warning
/// for every intent that is replaced.
TCMS::RenderingIntent SupportedIntent(TCMS::RenderingIntent intent, bool icc, bool reseparate) {
    if (intent != TCMS::Perceptual && intent != TCMS::Saturation) {
        return intent;
    }
    if (!icc) {
        KELTIO_Warning(intent == TCMS::Perceptual
                           ? "Rendering intent 'Perceptual' is not supported for Quorin profiles. "
                             "Rendering intent 'Relative Colorimetric' will be used instead."
                           : "Rendering intent 'Saturation' is not supported for Quorin profiles. "
                             "Rendering intent 'Relative Colorimetric' will be used instead.");
        return TCMS::RelativeColorimetric;
    }
    if (reseparate) {
        KELTIO_Warning(intent == TCMS::Perceptual
                           ? "Rendering intent 'Perceptual' is not supported for reseparation. "
                             "Rendering intent 'Relative Colorimetric' will be used instead."
                           : "Rendering intent 'Saturation' is not supported for reseparation. "
                             "Rendering intent 'Relative Colorimetric' will be used instead.");
        return TCMS::RelativeColorimetric;
    }
    return intent;
}

}  // namespace

std::shared_ptr<TCleanColorsSettings> MakeCleanColorsSettings(const TReseparateOptions& options) {
    struct CleanColor {
        CleanColorsInk ink;
        const char* message;
        int channel1;
        int channel2;  // -1 for a primary
    };
    static const CleanColor kCleanColors[] = {
        {CleanCyan, "Keeping Cyan pure.", 0, -1},
        {CleanMagenta, "Keeping Magenta pure.", 1, -1},
        {CleanYellow, "Keeping Yellow pure.", 2, -1},
        {CleanRed, "Keeping Red (Magenta + Yellow) pure.", 1, 2},
        {CleanGreen, "Keeping Green (Cyan + Yellow) pure.", 0, 2},
        {CleanBlue, "Keeping Blue (Cyan + Magenta) pure.", 0, 1},
    };
    std::shared_ptr<TCleanColorsSettings> settings = TCMS_CleanColorsSettingsNew();
    for (const CleanColor& color : kCleanColors) {
        if (!options.GetCleanColors(color.ink)) {
            continue;
        }
        MSG_Info("%s", color.message);
        if (color.channel2 < 0) {
            TCMS_CleanColorsSettingsAddPrimary(settings, color.channel1);
        } else {
            TCMS_CleanColorsSettingsAddSecondary(settings, color.channel1, color.channel2);
        }
    }
    return settings;
}

std::shared_ptr<TColTransf> TColorConverter_ProfileToProfile::CreateColorSpaceConversionStrategy(
    bool convert) {
    std::string source = options.GetSourceProfile();
    const std::string destination = options.GetDestinationProfile();
    if (options.GetUseDocumentProfile() && GetDocumentProfile(&source) != 0) {
        return nullptr;
    }
    if (!convert) {
        return TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, kReseparationProduct,
                                 destination.c_str(), destination.c_str(), TCMS::ResolutionHigh,
                                 TCMS::BlackGenerationKeep, TCMS::RelativeColorimetric, 0, nullptr,
                                 nullptr);
    }

    if (!colorSpaceLink) {
        std::shared_ptr<TProc> sourceProcess = TCMS_ProcDBNew(TCMS_GetLib(), source.c_str());
        std::shared_ptr<TProc> destinationProcess =
            TCMS_ProcDBNew(TCMS_GetLib(), destination.c_str());
        if (!sourceProcess || !destinationProcess) {
            if (!sourceProcess) {
                ReportMissingProfile(source);
            }
            if (!destinationProcess) {
                ReportMissingProfile(destination);
            }
            throw std::exception();
        }
        TCMS_ProcLinkDBNewProduct(TCMS_GetLib(), kReseparationProduct);

        TCMS::ProcLinkPar parameters;
        parameters.renderingIntent = options.GetRenderingIntent();
        parameters.int0x20 = 3;
        parameters.bool0x24 = true;
        parameters.int0x2C = 2;
        parameters.blackPointCompensation = options.GetBlackPointCompensation();
        if (parameters.renderingIntent == TCMS::AbsoluteColorimetric &&
            parameters.blackPointCompensation) {
            KELTIO_Warning(
                "Black point compensation is not allowed in combination with Absolute "
                "Colorimetric rendering intent. This setting will not be applied.");
            parameters.blackPointCompensation = false;
        }
        parameters.renderingIntent =
            SupportedIntent(parameters.renderingIntent,
                            TCMS_ProcIsICCProc(destinationProcess) != 0, options.GetReseparate());
        if (options.GetReseparate()) {
            // A reseparation follows: the link itself keeps the black neutral.
            const double curve4a[4] = {0.0, 0.0, 0.0, 0.0};
            const double curve4b[4] = {0.0, 0.0, 0.0, 0.0};
            const double curve3[3] = {0.0, 0.0, 0.0};
            parameters.gcrParameters = TCMS_ProcLinkGCRParDBNew(
                TCMS_GetLib(), "", 0.0, 0.0, 0.0, 0.0, curve4a, curve4b, curve3, 1, 1);
            parameters.bool0x24 = false;
        }
        parameters.cleanColors = MakeCleanColorsSettings(options);

        colorSpaceLink = TCMS_ProcLinkNew(TCMS_GetLib(), kReseparationProduct, sourceProcess,
                                          destinationProcess, parameters);
        if (!colorSpaceLink) {
            return nullptr;
        }
        if (CacheDeviceLink(colorSpaceLink, kColorSpaceLinkPrefix) != 0) {
            colorSpaceLink.reset();
            return nullptr;
        }
    }
    return TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, kReseparationProduct,
                             TCMS_ProcLinkGetName(colorSpaceLink), TCMS::ResolutionHigh);
}
