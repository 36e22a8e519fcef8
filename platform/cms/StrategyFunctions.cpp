// The Color Strategy functions of the CMS library (see TColTransf.h for how
// a strategy converts).
#include <cstdio>

#include "host/CMS.h"
#include "platform/cms/JsonReader.h"
#include "platform/cms/Names.h"
#include "platform/cms/StandIn.h"
#include "platform/cms/StrategyJson.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TColTransf.h"
#include "platform/cms/TProc.h"

using rdz::cms::CopyName;

namespace {

/// Channel names from a null-terminated array; false when the array does not
/// name exactly `count` channels.
bool ReadChannelNames(const char** names, int count, std::vector<std::string>* out) {
    out->clear();
    if (names == nullptr)
        return true;
    for (int i = 0; i <= count && names[i] != nullptr; ++i) {
        if (!rdz::cms::json::NameFault(names[i]).empty())
            return false;
        out->emplace_back(names[i]);
    }
    return static_cast<int>(out->size()) == count;
}

}  // namespace

std::shared_ptr<TColTransf> TCMS_ColTransfDBNew(std::shared_ptr<TCMSLibrary> lib,
                                                const char* name) {
    if (!lib || name == nullptr)
        return nullptr;
    const rdz::cms::StrategyDef* def = lib->FindStrategy(name);
    if (def == nullptr)
        return nullptr;
    // Every strategy object is a copy: changes made to it never reach the database.
    return std::make_shared<TColTransf>(lib, *def);
}

std::shared_ptr<TColTransf> TCMS_ColTransfNew(std::shared_ptr<TCMSLibrary> lib,
                                              TCMS::ColTransfType type) {
    if (!lib)
        return nullptr;
    rdz::cms::StrategyDef def;
    def.type = type;
    return std::make_shared<TColTransf>(lib, std::move(def));
}

std::shared_ptr<TColTransf> TCMS_ColTransfNew(std::shared_ptr<TCMSLibrary> lib,
                                              TCMS::ColTransfType type, const char* product,
                                              const char* srcProfile, const char* dstProfile,
                                              TCMS::Resolution resolution,
                                              TCMS::BlackGeneration blackGeneration,
                                              TCMS::RenderingIntent intent, int /*reserved*/,
                                              const char** srcInkNames, const char** dstInkNames) {
    if (!lib || srcProfile == nullptr)
        return nullptr;
    if (intent < TCMS::Perceptual || intent > TCMS::AbsoluteColorimetric)
        return nullptr;
    rdz::cms::StrategyDef def;
    def.type = type;
    def.product = product == nullptr ? std::string() : product;
    def.source = lib->FindProcess(srcProfile);
    const bool ownChannels = dstProfile == nullptr || *dstProfile == '\0';
    def.destination = ownChannels ? def.source : lib->FindProcess(dstProfile);
    if (!def.source || !def.destination || !def.destination->UsableAsDestination())
        return nullptr;
    def.name = def.source->Name() + " -> " + def.destination->Name();
    def.renderingIntent = intent;
    def.resolution =
        resolution == TCMS::ResolutionHigh ? TCMS::ResolutionHigh : TCMS::ResolutionLow;
    def.blackGeneration = blackGeneration == TCMS::BlackGenerationKeep ? TCMS::BlackGenerationKeep
                                                                       : TCMS::BlackGenerationNone;
    if (!ReadChannelNames(srcInkNames, def.source->NrChannels(), &def.sourceChannelNames) ||
        !ReadChannelNames(dstInkNames, def.destination->NrChannels(),
                          &def.destinationChannelNames)) {
        return nullptr;
    }
    // Without a destination of its own the transform keeps the source's
    // channels under the source's names.
    if (ownChannels && dstInkNames == nullptr)
        def.destinationChannelNames = def.sourceChannelNames;
    return std::make_shared<TColTransf>(lib, std::move(def));
}

int TCMS_ColTransfImportFromStream(std::shared_ptr<TColTransf> strategy, const char* text) {
    if (!strategy || text == nullptr || strategy->Library() == nullptr)
        return -1;
    try {
        const rdz::cms::json::Json value = rdz::cms::json::Parse(text);
        strategy->Replace(
            rdz::cms::ReadStrategy(value, *strategy->Library(), "", false, strategy->Def().type));
        return 0;
    } catch (const rdz::cms::json::JsonFault& fault) {
        strategy->AddReport(std::string("cannot import the strategy text: ") + fault.what());
        return -1;
    }
}

TCMS::ColTransfType TCMSDB_ColTransfGetType(std::shared_ptr<TCMSLibrary> lib, const char* name) {
    const rdz::cms::StrategyDef* def = lib && name != nullptr ? lib->FindStrategy(name) : nullptr;
    return static_cast<TCMS::ColTransfType>(def == nullptr ? -1 : def->type);
}

int TCMS_ColTransfGetConvertOpaqueInks(std::shared_ptr<TColTransf> strategy) {
    return strategy && strategy->Def().convertOpaqueInks ? 1 : 0;
}

int TCMS_ColTransfGetConvertUnregisteredInks(std::shared_ptr<TColTransf> strategy) {
    return strategy && strategy->Def().convertUnregisteredInks ? 1 : 0;
}

int TCMS_ColTransfInkIsProcessInk(std::shared_ptr<TColTransf> strategy, const char* book,
                                  const char* ink) {
    if (!strategy || ink == nullptr)
        return 0;
    return strategy->IsProcessInk(book == nullptr ? "" : book, ink) ? 1 : 0;
}

int TCMS_ColTransfGetSrcDstProfileNames(std::shared_ptr<TColTransf> strategy, const char** src,
                                        const char** dst, bool /*outputNames*/) {
    // Documents carry the database's process names, so both forms agree.
    if (!strategy || !strategy->Def().source || !strategy->Def().destination)
        return -1;
    if (src != nullptr)
        *src = strategy->Def().source->Name().c_str();
    if (dst != nullptr)
        *dst = strategy->Def().destination->Name().c_str();
    return 0;
}

int TCMS_ColTransfSetSrcDstProfiles(std::shared_ptr<TColTransf> strategy, const char* src,
                                    const char* dst, TCMS::ColTransfRecalculateAdvItem recalculate,
                                    TCMS::ProgressFunction progress, void* context,
                                    TCMS::ColTransfProfileUpdateSettings settings) {
    if (!strategy)
        return -1;
    return strategy->SetProfiles(src, dst, recalculate, progress, context, settings);
}

int TCMS_ColTransfSetDeviceLinkPolicy(std::shared_ptr<TColTransf> strategy,
                                      TCMS::ColTransfDeviceLinkPolicy policy, const char* linkName,
                                      void* /*reserved*/) {
    return strategy ? strategy->SetDeviceLinkPolicy(policy, linkName) : -1;
}

std::vector<TCMS::InkInfo> TCMS_ColTransfGetNamesOfOutputInks(std::shared_ptr<TColTransf> strategy,
                                                              bool printedOnly) {
    if (!strategy)
        return {};
    return printedOnly ? strategy->PrintedChannels() : strategy->OutputChannels();
}

int TCMS_ColTransfGetExtraOutputInksForCustomValues(std::shared_ptr<TColTransf> strategy,
                                                    std::vector<TCMS::InkInfo>* list) {
    if (!strategy)
        return -1;
    const auto& extras = strategy->Def().extraOutputInks;
    if (list != nullptr) {
        for (const rdz::cms::InkName& extra : extras) {
            list->emplace_back(extra.book, extra.ink, rdz::cms::kExtraOutputInk);
        }
    }
    return static_cast<int>(extras.size());
}

// Advanced items -------------------------------------------------------------

namespace {
const rdz::cms::AdvancedItem* Item(const std::shared_ptr<TColTransf>& strategy, int index) {
    if (!strategy || index < 0 ||
        static_cast<std::size_t>(index) >= strategy->Def().advancedItems.size()) {
        return nullptr;
    }
    return &strategy->Def().advancedItems[index];
}
}  // namespace

int TCMS_ColTransfAdvItemGetCount(std::shared_ptr<TColTransf> strategy) {
    return strategy ? static_cast<int>(strategy->Def().advancedItems.size()) : 0;
}

int TCMS_ColTransfAdvItemGetBookName(std::shared_ptr<TColTransf> strategy, int index,
                                     char* buffer) {
    const rdz::cms::AdvancedItem* item = Item(strategy, index);
    CopyName(item != nullptr ? item->book : std::string(), buffer);
    return item != nullptr && buffer != nullptr ? 0 : -1;
}

int TCMS_ColTransfAdvItemGetInkName(std::shared_ptr<TColTransf> strategy, int index, char* buffer) {
    const rdz::cms::AdvancedItem* item = Item(strategy, index);
    CopyName(item != nullptr ? item->ink : std::string(), buffer);
    return item != nullptr && buffer != nullptr ? 0 : -1;
}

int TCMS_ColTransfAdvItemGetInkIndex(std::shared_ptr<TColTransf> strategy, const char* ink,
                                     const char* book) {
    if (!strategy || ink == nullptr || book == nullptr)
        return -1;
    return strategy->FindItem(book, ink);
}

TCMS::ColTransfInkOption TCMS_ColTransfAdvItemGetOption(std::shared_ptr<TColTransf> strategy,
                                                        int index) {
    const rdz::cms::AdvancedItem* item = Item(strategy, index);
    return item != nullptr ? item->option : static_cast<TCMS::ColTransfInkOption>(-1);
}

int TCMS_ColTransfAdvItemGetOptionGUI(std::shared_ptr<TColTransf> strategy, int index) {
    const rdz::cms::AdvancedItem* item = Item(strategy, index);
    if (item == nullptr)
        return -1;
    switch (item->option) {
        case TCMS::InkOptionKeep:
            return 1;
        case TCMS::InkOptionExplicitValues:
            return 2;
        default:
            return 0;
    }
}

int TCMS_ColTransfAdvItemGetValues(std::shared_ptr<TColTransf> strategy, int index,
                                   double* values) {
    const rdz::cms::AdvancedItem* item = Item(strategy, index);
    if (item == nullptr || values == nullptr)
        return -1;
    std::copy(item->values.begin(), item->values.end(), values);
    return 0;
}

int TCMS_ColTransfAdvItemChange(std::shared_ptr<TColTransf> strategy, int index, const char* ink,
                                const char* book, int optionGUI, int nrValues, const double* values,
                                void* /*reserved1*/, void* /*reserved2*/) {
    return strategy ? strategy->ChangeItem(index, ink, book, optionGUI, nrValues, values) : -1;
}

// Conversion -----------------------------------------------------------------

int TCMS_ColTransfInitOutputSpace(std::shared_ptr<TColTransf> strategy, TInkVector inks) {
    if (!strategy)
        return -1;
    strategy->InitOutputSpace(inks);
    return 0;
}

int TCMS_ColTransfInitConvert(std::shared_ptr<TColTransf> strategy, const TInkVector& inks,
                              const double* opacity, int nrInputs, int inMin, int inMax,
                              int nrOutputs, int outMin, int outMax, int pixelAligned,
                              int /*reserved*/, const std::function<int(void*, int, int)>& progress,
                              const std::vector<bool>& /*flags*/, const char* text, void* context,
                              TCMS::ConvertFunction convert, bool /*reserved2*/) {
    if (!strategy)
        return -1;
    return strategy->InitConvert(inks, opacity, nrInputs, inMin, inMax, nrOutputs, outMin, outMax,
                                 pixelAligned, progress, text, context, convert);
}

int TCMS_ColTransfConvertAligned(std::shared_ptr<TColTransf> strategy, const unsigned char* in,
                                 unsigned char* out, int n) {
    return strategy ? strategy->Convert(in, out, n) : -1;
}

int TCMS_ColTransfSampleNeedsConvert(std::shared_ptr<TColTransf> strategy, const int* flags) {
    return strategy ? strategy->SampleNeedsConvert(flags) : -1;
}

int TCMS_ColTransfEndConvert(std::shared_ptr<TColTransf> strategy, bool keepCache) {
    if (!strategy)
        return -1;
    strategy->EndConvert(keepCache);
    return 0;
}

// Stand-in views ---------------------------------------------------------------

namespace rdz::cms {

std::string ExportStrategy(const std::shared_ptr<TColTransf>& strategy) {
    return strategy ? WriteStrategy(strategy->Def()).dump(2) : std::string();
}

std::vector<std::string> ConvertReport(const std::shared_ptr<TColTransf>& strategy) {
    return strategy ? strategy->Report() : std::vector<std::string>();
}

}  // namespace rdz::cms
