// Construction, initialisation and pixel conversion of the profile converter.
#include "profile/TColorConverter_ProfileToProfile.h"

#include <functional>
#include <new>

#include "host/zqmsg.h"

TColorConverter_ProfileToProfile::TColorConverter_ProfileToProfile(
    document_object_t* document, TGeneralColorConverterOptions& generalOptions,
    TReseparateOptions& reseparateOptions)
    : TColorConverter(document, generalOptions),
      options(reseparateOptions),
      intermediateBufferCapacity(0),
      intermediateInkCount(0) {}

TColorConverter_ProfileToProfile::TColorConverter_ProfileToProfile(
    const TColorConverter_ProfileToProfile& other)
    : TColorConverter(other),
      options(other.options),
      colorSpaceLink(other.colorSpaceLink),
      lineworkColorSpaceStrategy(other.lineworkColorSpaceStrategy),
      imageColorSpaceStrategy(other.imageColorSpaceStrategy),
      reseparationLink(other.reseparationLink),
      lineworkReseparationStrategy(other.lineworkReseparationStrategy),
      imageReseparationStrategy(other.imageReseparationStrategy),
      intermediateBufferCapacity(0),
      intermediateInkCount(other.intermediateInkCount),
      intermediateInks(other.intermediateInks) {}

TColorConverter_ProfileToProfile::~TColorConverter_ProfileToProfile() = default;

bool TColorConverter_ProfileToProfile::KeepZeroPercentInks() const { return true; }

int TColorConverter_ProfileToProfile::GetDocumentProfile(std::string* profile) {
    if (DOC_is_colorspace_tagged(TheDoc) == 0) {
        return 0;
    }
    const char* name = DOC_get_colorspace(TheDoc);
    if (name == nullptr || name[0] == '\0') {
        return 0;
    }
    if (DOC_is_colorspace_in_database(TheDoc) == 0) {
        return 0;
    }
    if (!TCMS_ProcDBNew(TCMS_GetLib(), name)) {
        return -1;
    }
    *profile = name;
    return 0;
}

int TColorConverter_ProfileToProfile::InitStrategy(std::shared_ptr<TColTransf> strategy,
                                                   const std::vector<std::shared_ptr<TInk>>& inks,
                                                   double* opacity, int count, int outputCount) {
    return TCMS_ColTransfInitConvert(strategy, inks, opacity, count, 0, 255, outputCount, 0, 255,
                                     1, 0, std::function<int(void*, int, int)>(),
                                     std::vector<bool>(), nullptr, nullptr, nullptr, false);
}

void TColorConverter_ProfileToProfile::EnsureIntermediateInks() {
    if (intermediateInkCount > 0) {
        return;
    }
    // Neither CMYK option asked for a reseparation link, so no link filled
    // the intermediate inks; the chain still passes the destination's inks.
    const std::string destination = options.GetDestinationProfile();
    std::shared_ptr<TProc> profile = TCMS_ProcDBNew(TCMS_GetLib(), destination.c_str());
    if (profile) {
        intermediateInkCount = TCMS_ProcGetNrInks(profile);
        intermediateInks = TCMS_ProcGetInks(profile);
    }
}

int TColorConverter_ProfileToProfile::Init() {
    if (TColorConverter::Init() != 0) {
        return -1;
    }
    // One chain buffer per helper thread of the image pass (the calling
    // thread has the converter's own); each grows on its own.
    workerBuffers.resize(static_cast<size_t>(GetThreadCount() - 1));
    IDB_count_inks();
    const bool colorSpace = options.GetrodadazErivospace();
    const bool reseparate = options.GetReseparate();
    if (!colorSpace && !reseparate) {
        return -1;
    }
    const TGeneralColorConverterOptions& general = GetGeneralOptions();
    if (colorSpace) {
        lineworkColorSpaceStrategy =
            CreateColorSpaceConversionStrategy(general.GetConvertCMYKLinework());
        imageColorSpaceStrategy = CreateColorSpaceConversionStrategy(general.GetConvertCMYKImages());
        if (!lineworkColorSpaceStrategy || !imageColorSpaceStrategy) {
            return -1;
        }
    }
    if (reseparate) {
        lineworkReseparationStrategy = CreateReseparationStrategy(general.GetConvertCMYKLinework());
        imageReseparationStrategy = CreateReseparationStrategy(general.GetConvertCMYKImages());
        if (!lineworkReseparationStrategy || !imageReseparationStrategy) {
            return -1;
        }
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

    std::shared_ptr<TColTransf> first =
        lineworkColorSpaceStrategy ? lineworkColorSpaceStrategy : lineworkReseparationStrategy;
    TCMS_ColTransfInitOutputSpace(first, GetInputInks());
    const std::vector<TCMS::InkInfo> outputs = TCMS_ColTransfGetNamesOfOutputInks(first, false);
    AddOutputInks(static_cast<int>(outputs.size()), outputs, std::set<int>());

    if (colorSpace) {
        InitStrategy(lineworkColorSpaceStrategy, GetInputInks(), GetInputOpacity(),
                     GetNrInputInks(), GetNrOutputInks(true));
        InitStrategy(imageColorSpaceStrategy, GetInputInks(), GetInputOpacity(), GetNrInputInks(),
                     GetNrOutputInks(true));
    }
    if (reseparate) {
        if (colorSpace) {
            EnsureIntermediateInks();
            // The first stage must write exactly the pixels the second reads:
            // anything else would run past the intermediate buffer.
            const int imageChannels = static_cast<int>(
                TCMS_ColTransfGetNamesOfOutputInks(imageColorSpaceStrategy, false).size());
            if (intermediateInkCount <= 0 || GetNrOutputInks(true) != intermediateInkCount ||
                imageChannels != intermediateInkCount) {
                const std::string destination = options.GetDestinationProfile();
                MSG_Error(
                    "The colour-space conversion to '%s' gives %d channels, but its "
                    "reseparation expects %d inks.",
                    destination.c_str(), GetNrOutputInks(true), intermediateInkCount);
                return -1;
            }
        }
        const std::vector<std::shared_ptr<TInk>> inks =
            colorSpace ? intermediateInks : GetInputInks();
        InitStrategy(lineworkReseparationStrategy, inks, GetInputOpacity(), 0,
                     GetNrOutputInks(true));
        InitStrategy(imageReseparationStrategy, inks, GetInputOpacity(), 0, GetNrOutputInks(true));
    }
    return 0;
}

int TColorConverter_ProfileToProfile::Convert(const unsigned char* in, unsigned char* out, int n,
                                              bool linework) {
    const std::shared_ptr<TColTransf> colorSpace =
        linework ? lineworkColorSpaceStrategy : imageColorSpaceStrategy;
    const std::shared_ptr<TColTransf> reseparation =
        linework ? lineworkReseparationStrategy : imageReseparationStrategy;

    int result = 0;
    if (!colorSpace) {
        result = TCMS_ColTransfConvertAligned(reseparation, in, out, n);
    } else if (!reseparation) {
        result = TCMS_ColTransfConvertAligned(colorSpace, in, out, n);
    } else {
        // Each thread of the image pass has a buffer of its own: the calling
        // thread (every paint) the converter's, a helper its slot; a thread
        // without a slot (none was made for it in Init) one for this call.
        std::unique_ptr<unsigned char[]>* buffer = &intermediateBuffer;
        int* capacity = &intermediateBufferCapacity;
        WorkerBuffer ownBuffer;
        const int worker = GetImageWorker();
        if (worker > 0) {
            WorkerBuffer& slot = static_cast<size_t>(worker) <= workerBuffers.size()
                                     ? workerBuffers[static_cast<size_t>(worker - 1)]
                                     : ownBuffer;
            buffer = &slot.data;
            capacity = &slot.capacity;
        }
        if (n > *capacity) {
            buffer->reset();
            *capacity = 0;
            const size_t bytes =
                static_cast<size_t>(n) * static_cast<size_t>(intermediateInkCount);
            buffer->reset(new (std::nothrow) unsigned char[bytes > 0 ? bytes : 1]);
            if (!*buffer) {
                return -1;
            }
            *capacity = n;
        }
        if (TCMS_ColTransfConvertAligned(colorSpace, in, buffer->get(), n) != 0) {
            return -1;
        }
        result = TCMS_ColTransfConvertAligned(reseparation, buffer->get(), out, n);
    }
    return result == 0 ? 0 : -1;
}

void TColorConverter_ProfileToProfile::End() {
    imageColorSpaceStrategy.reset();
    lineworkColorSpaceStrategy.reset();
    imageReseparationStrategy.reset();
    lineworkReseparationStrategy.reset();
    reseparationLink.reset();
    colorSpaceLink.reset();
    intermediateBuffer.reset();
    intermediateBufferCapacity = 0;
    workerBuffers.clear();
    intermediateInks.clear();
    intermediateInkCount = 0;
    TColorConverter::End();
}
