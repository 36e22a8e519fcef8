#include "devicelink/TColorConverter_IccDeviceLink.h"

#include <exception>
#include <functional>
#include <string>

#include "engine/LoadDeviceLink.h"
#include "engine/littlecms/TintLittleCMS.h"
#include "engine/TintEngineManager.h"
#include "engine/TintLink.h"
#include "host/ZQTypes.h"
#include "host/zqmsg.h"
#include "profile/ReseparationProduct.h"

namespace {

/// The CMYK process the linear strategy maps the document's process inks onto.
constexpr const char* kLinearProfile = "ISOCoated_v2_eci.icc";
/// The engine type of TintLittleCMS.
constexpr int kLittleCMSEngine = 2;
/// Pixels between the two stages are CMYK.
constexpr int kLinkChannels = 4;

}  // namespace

TColorConverter_IccDeviceLink::TColorConverter_IccDeviceLink(
    document_object_t* document, TGeneralColorConverterOptions& generalOptions,
    TReseparateOptions& reseparateOptions)
    : TColorConverter(document, generalOptions), options(reseparateOptions) {}

TColorConverter_IccDeviceLink::TColorConverter_IccDeviceLink(
    const TColorConverter_IccDeviceLink& other) = default;

void TColorConverter_IccDeviceLink::SetLinkReuse(bool reuse) {
    TintLittleCMS::GetInstance()->SetDeviceLinkReuse(reuse);
}

TColorConverter_IccDeviceLink::~TColorConverter_IccDeviceLink() = default;

bool TColorConverter_IccDeviceLink::KeepZeroPercentInks() const { return true; }

std::shared_ptr<TColTransf> TColorConverter_IccDeviceLink::CreateLinearStrategy() {
    return TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, kReseparationProduct,
                             kLinearProfile, nullptr, TCMS::ResolutionLow,
                             TCMS::BlackGenerationNone, TCMS::RelativeColorimetric, 0, nullptr,
                             nullptr);
}

std::shared_ptr<const TintLink> TColorConverter_IccDeviceLink::CreateIccDeviceLink() {
    std::shared_ptr<const TintLink> result;
    try {
        const std::string option = options.GetIccDeviceLink();
        const ZQ_TString text(option.c_str(), 0xFFFFFFFFu);
        const ZQ_TURL url = ZQ_TURL::FromString(text);
        const std::string path = url.LocalName().GetText();
        TintEngineManager* manager = TintEngineManager::GetInstance();
        manager->SelectEngine(kLittleCMSEngine);
        // Loader texts may hold any character: never use them as a format.
        result = LoadDeviceLink(*manager, path, options.GetRenderingIntent(),
                                [](const std::string& message) { MSG_Error("%s", message.c_str()); });
    } catch (const ZQ_EException& exception) {
        MSG_Error("Error opening ICC Device link file %s: %s.", options.GetIccDeviceLink().c_str(),
                  exception.GetMessage());
        result.reset();
    }
    return result;
}

int TColorConverter_IccDeviceLink::Init() {
    if (TColorConverter::Init() != 0) {
        return -1;
    }
    // One link buffer per helper thread of the image pass (the calling
    // thread has the converter's own); each grows on its own.
    workerLinkBuffers.resize(static_cast<size_t>(GetThreadCount() - 1));
    IDB_count_inks();
    if (!options.GetrodadazErivospace() || options.GetReseparate()) {
        MSG_Error("Invalid options for ICC device link conversion");
        throw std::exception();
    }
    linearStrategy = CreateLinearStrategy();
    deviceLink = CreateIccDeviceLink();
    if (!linearStrategy || !deviceLink) {
        throw std::exception();
    }
    // The buffer between the stages holds four channels per pixel: a link
    // of any other shape would read or write past it.
    if (deviceLink->GetNumberOfColorSpaces() < 2 ||
        deviceLink->GetNumberOfChannels(0) != kLinkChannels ||
        deviceLink->GetNumberOfChannels(deviceLink->GetNumberOfColorSpaces() - 1) !=
            kLinkChannels) {
        MSG_Error("ICC device link file %s does not convert four channels into four.",
                  options.GetIccDeviceLink().c_str());
        throw std::exception();
    }

    list_iterator_t it;
    IDB_all_inks(&it);
    void* item = nullptr;
    while (SOL_next_item(&it, &item)) {
        auto* ink = static_cast<inkt_t*>(item);
        if (INK_is_process(ink, nullptr) != 0) {
            AddInputInk(ink);
        } else {
            AddExceptionInk(ink);
            AddImageExceptionInk(ink);
        }
    }

    TCMS_ColTransfInitOutputSpace(linearStrategy, GetInputInks());
    const std::vector<TCMS::InkInfo> outputs =
        TCMS_ColTransfGetNamesOfOutputInks(linearStrategy, false);
    if (static_cast<int>(outputs.size()) != kLinkChannels) {
        MSG_Error("Process %s gives %d channels; the ICC device link conversion needs four.",
                  kLinearProfile, static_cast<int>(outputs.size()));
        throw std::exception();
    }
    AddOutputInks(static_cast<int>(outputs.size()), outputs, std::set<int>());
    TCMS_ColTransfInitConvert(linearStrategy, GetInputInks(), GetInputOpacity(), GetNrInputInks(),
                              0, 255, GetNrOutputInks(true), 0, 255, 1, 0,
                              std::function<int(void*, int, int)>(), std::vector<bool>(), nullptr,
                              nullptr, nullptr, false);
    return 0;
}

int TColorConverter_IccDeviceLink::Convert(const unsigned char* in, unsigned char* out, int n,
                                           bool linework) {
    if (!linearStrategy || !deviceLink) {
        return -1;
    }
    const TGeneralColorConverterOptions& general = GetGeneralOptions();
    const bool converted =
        linework ? general.GetConvertCMYKLinework() : general.GetConvertCMYKImages();
    if (!converted) {
        return TCMS_ColTransfConvertAligned(linearStrategy, in, out, n) == 0 ? 0 : -1;
    }
    // Each thread of the image pass has a buffer of its own: the calling
    // thread (every paint) the converter's, a helper its slot; a thread
    // without a slot (none was made for it in Init) one for this call.
    std::vector<unsigned char> ownBuffer;
    const int worker = GetImageWorker();
    std::vector<unsigned char>& buffer = worker == 0 ? deviceLinkBuffer
                                         : static_cast<size_t>(worker) <= workerLinkBuffers.size()
                                             ? workerLinkBuffers[static_cast<size_t>(worker - 1)]
                                             : ownBuffer;
    const size_t bytes = static_cast<size_t>(kLinkChannels) * static_cast<size_t>(n);
    if (buffer.size() < bytes) {
        buffer.resize(bytes, 0);
    }
    if (TCMS_ColTransfConvertAligned(linearStrategy, in, buffer.data(), n) != 0) {
        return -1;
    }
    return deviceLink->Transform(n, buffer.data(), out) ? 0 : -1;
}

void TColorConverter_IccDeviceLink::End() {
    deviceLink.reset();
    TColorConverter::End();
}
