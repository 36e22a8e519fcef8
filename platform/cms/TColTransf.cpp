#include "platform/cms/TColTransf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/cms/InkRules.h"
#include "platform/cms/JsonReader.h"
#include "platform/cms/LcmsHandles.h"
#include "platform/cms/Messages.h"
#include "platform/cms/Names.h"
#include "platform/cms/PixelConverter.h"
#include "platform/cms/StandIn.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TInk.h"
#include "platform/cms/TProc.h"

using rdz::cms::EqualsIgnoringCase;
using rdz::cms::StrategyDef;
using rdz::cms::ValueChannels;

namespace {

/// An ink that its ink book or process says is a spot ink never stands in for
/// a process channel, whatever its name.
bool IsKnownSpotInk(const TInk& ink) {
    return ink.GetOrigin() != TInk::Origin::Color && !ink.IsProcess();
}

bool BadRange(int low, int high) {
    return low < 0 || low > 255 || high < 0 || high > 255 || low == high;
}

}  // namespace

TColTransf::TColTransf(std::shared_ptr<const TCMSLibrary> lib, StrategyDef def)
    : lib_(std::move(lib)), def_(std::move(def)) {}

TColTransf::~TColTransf() = default;

void TColTransf::AddReport(const std::string& text) {
    report_.push_back(text);
    rdz::cms::Say(rdz::cms::MessageLevel::Warning,
                  "CMS Color Strategy '" + def_.name + "': " + text);
}

void TColTransf::DropConversion() {
    converter_.reset();
    changed_.clear();
    convert_ = nullptr;
    context_ = nullptr;
}

void TColTransf::Replace(StrategyDef def) {
    def_ = std::move(def);
    kept_.clear();
    cache_.reset();
    DropConversion();
}

bool TColTransf::IsProcessInk(const std::string& book, const std::string& ink) const {
    if (!def_.source)
        return false;
    if (lib_) {
        const std::shared_ptr<TInk> known = lib_->FindInk(book, ink);
        if (known && IsKnownSpotInk(*known))
            return false;
    }
    for (const std::string& channel : rdz::cms::SourceChannelNames(def_)) {
        if (EqualsIgnoringCase(channel, ink))
            return true;
    }
    return false;
}

std::vector<TCMS::InkInfo> TColTransf::OutputChannels() const {
    std::vector<TCMS::InkInfo> channels = ValueChannels(def_);
    channels.insert(channels.end(), kept_.begin(), kept_.end());
    return channels;
}

std::vector<TCMS::InkInfo> TColTransf::PrintedChannels() const {
    std::vector<TCMS::InkInfo> printed;
    for (const TCMS::InkInfo& channel : OutputChannels()) {
        bool hidden = false;
        for (const std::string& name : def_.unprintedInks) {
            hidden = hidden || (channel.GetKind() != rdz::cms::kKeptInk &&
                                EqualsIgnoringCase(name, channel.GetInkNamePtr()));
        }
        if (!hidden)
            printed.push_back(channel);
    }
    return printed;
}

int TColTransf::FindItem(const std::string& book, const std::string& ink) const {
    for (std::size_t i = 0; i < def_.advancedItems.size(); ++i) {
        const rdz::cms::AdvancedItem& item = def_.advancedItems[i];
        if (EqualsIgnoringCase(item.book, book) && EqualsIgnoringCase(item.ink, ink)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TColTransf::ChangeItem(int index, const char* ink, const char* book, int optionGUI,
                           int nrValues, const double* values) {
    static const TCMS::ColTransfInkOption kOptions[] = {
        TCMS::InkOptionAutomatic, TCMS::InkOptionKeep, TCMS::InkOptionExplicitValues};
    const int count = static_cast<int>(def_.advancedItems.size());
    const std::size_t channels = ValueChannels(def_).size();
    if (index < 0 || index > count || optionGUI < 0 || optionGUI > 2)
        return -1;
    if (nrValues < 0 || static_cast<std::size_t>(nrValues) > channels)
        return -1;
    if (nrValues > 0 && values == nullptr)
        return -1;
    for (int i = 0; i < nrValues; ++i) {
        if (!std::isfinite(values[i]) || values[i] < 0.0 || values[i] > 1000.0)
            return -1;
    }
    if ((ink != nullptr && !rdz::cms::json::NameFault(ink).empty()) ||
        (book != nullptr && !rdz::cms::json::NameFault(book).empty())) {
        return -1;
    }

    rdz::cms::AdvancedItem item;
    if (index < count) {
        item = def_.advancedItems[index];
    } else {
        if (ink == nullptr || book == nullptr)
            return -1;  // a new item needs its ink
        item.values.assign(channels, 0.0);
    }
    if (ink != nullptr)
        item.ink = ink;
    if (book != nullptr)
        item.book = book;
    const int existing = FindItem(item.book, item.ink);
    if (existing >= 0 && existing != index)
        return -1;  // one item per ink
    item.option = kOptions[optionGUI];
    for (int i = 0; i < nrValues; ++i)
        item.values[i] = values[i];

    if (index < count) {
        def_.advancedItems[index] = std::move(item);
    } else {
        def_.advancedItems.push_back(std::move(item));
    }
    DropConversion();
    return 0;
}

int TColTransf::SetProfiles(const char* src, const char* dst, int recalculate,
                            TCMS::ProgressFunction progress, void* context,
                            TCMS::ColTransfProfileUpdateSettings settings) {
    if (def_.link) {
        AddReport("a transform over a device link keeps the link's processes");
        return -1;
    }
    // Copied first: the names may be the ones this strategy handed out.
    const std::string srcName = src == nullptr ? std::string() : src;
    const std::string dstName = dst == nullptr ? std::string() : dst;
    StrategyDef next = def_;
    if (!srcName.empty()) {
        const auto process = lib_ ? lib_->FindProcess(srcName) : nullptr;
        if (!process) {
            AddReport("process '" + srcName + "' is not in the database");
            return -1;
        }
        if (process != next.source)
            next.sourceChannelNames.clear();
        next.source = process;
    }
    if (!dstName.empty()) {
        const auto process = lib_ ? lib_->FindProcess(dstName) : nullptr;
        if (!process || !process->UsableAsDestination()) {
            AddReport("process '" + dstName +
                      "' is not in the database or cannot be a destination");
            return -1;
        }
        if (process != next.destination)
            next.destinationChannelNames.clear();
        next.destination = process;
    }
    if (!next.source || !next.destination)
        return -1;
    if (settings.resetAdvancedItems != 0)
        next.advancedItems.clear();
    if (settings.resetOutputInks != 0) {
        next.extraOutputInks.clear();
        next.unprintedInks.clear();
    }

    const std::vector<TCMS::InkInfo> before = ValueChannels(def_);
    const std::vector<TCMS::InkInfo> after = ValueChannels(next);

    // Recalculating explicit values keeps each item's colour: its old values
    // printed on the old destination, separated again for the new one.
    rdz::cms::TransformHandle recalc;
    const bool recalculating = recalculate == TCMS::RecalculateAdvItemYes && def_.destination &&
                               !def_.destination->SameProfileAs(*next.destination);
    if (recalculating) {
        rdz::cms::ProfileHandle from = def_.destination->OpenProfile();
        rdz::cms::ProfileHandle to = next.destination->OpenProfile();
        if (from && to) {
            // Relative colorimetric whatever the strategy's intent: an item's
            // values name one colour, which no gamut mapping should move.
            recalc.reset(cmsCreateTransform(from.get(), def_.destination->PixelFormat(2), to.get(),
                                            next.destination->PixelFormat(2),
                                            INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
        }
        if (!recalc) {
            AddReport("LittleCMS cannot convert from '" + def_.destination->Name() + "' to '" +
                      next.destination->Name() + "'");
            return -1;
        }
    }
    int total = 0;
    for (const auto& item : next.advancedItems) {
        total += item.option == TCMS::InkOptionExplicitValues ? 1 : 0;
    }
    int done = 0;
    for (rdz::cms::AdvancedItem& item : next.advancedItems) {
        std::vector<double> values(after.size(), 0.0);
        for (std::size_t j = 0; j < after.size(); ++j) {
            for (std::size_t k = 0; k < before.size() && k < item.values.size(); ++k) {
                if (EqualsIgnoringCase(after[j].GetInkNamePtr(), before[k].GetInkNamePtr())) {
                    values[j] = item.values[k];
                    break;
                }
            }
        }
        if (recalculating && item.option == TCMS::InkOptionExplicitValues) {
            cmsUInt16Number in[cmsMAXCHANNELS] = {0};
            cmsUInt16Number out[cmsMAXCHANNELS] = {0};
            for (int c = 0; c < def_.destination->NrChannels(); ++c) {
                in[c] = static_cast<cmsUInt16Number>(
                    std::lround(std::clamp(item.values[c], 0.0, 100.0) * 655.35));
            }
            cmsDoTransform(recalc.get(), in, out, 1);
            for (int c = 0; c < next.destination->NrChannels(); ++c)
                values[c] = out[c] / 655.35;
            ++done;
            if (progress != nullptr && progress(context, done, total) != 0) {
                AddReport("changing the profiles was stopped");
                return -1;
            }
        }
        item.values = std::move(values);
    }
    std::vector<std::string> unprinted;
    for (const std::string& name : next.unprintedInks) {
        for (const TCMS::InkInfo& channel : after) {
            if (EqualsIgnoringCase(name, channel.GetInkNamePtr())) {
                unprinted.push_back(name);
                break;
            }
        }
    }
    next.unprintedInks = std::move(unprinted);

    def_ = std::move(next);
    kept_.clear();
    cache_.reset();
    DropConversion();
    return 0;
}

int TColTransf::SetDeviceLinkPolicy(int policy, const char* linkName) {
    if (policy != TCMS::DeviceLinkPolicyNone && policy != TCMS::DeviceLinkPolicyProfiles) {
        return -1;
    }
    def_.deviceLinkPolicy = policy;
    def_.deviceLinkName = linkName == nullptr ? std::string() : linkName;
    return 0;
}

int TColTransf::KeptChannelFor(const TInk& ink, const std::vector<TCMS::InkInfo>& channels) const {
    for (std::size_t j = 0; j < channels.size(); ++j) {
        const TCMS::InkInfo& channel = channels[j];
        if (!EqualsIgnoringCase(channel.GetInkNamePtr(), ink.Name()))
            continue;
        if (EqualsIgnoringCase(channel.GetBookNamePtr(), ink.Book()) ||
            (channel.GetKind() == rdz::cms::kProcessChannel && ink.IsProcess())) {
            return static_cast<int>(j);
        }
    }
    return -1;
}

void TColTransf::InitOutputSpace(const TInkVector& inks) {
    DropConversion();
    kept_.clear();
    for (const auto& ink : inks) {
        if (!ink)
            continue;
        const int item = FindItem(ink->Book(), ink->Name());
        if (item < 0 || def_.advancedItems[item].option != TCMS::InkOptionKeep)
            continue;
        if (KeptChannelFor(*ink, OutputChannels()) < 0) {
            kept_.emplace_back(ink->Book(), ink->Name(), rdz::cms::kKeptInk);
        }
    }
}

int TColTransf::InitConvert(const TInkVector& inks, const double* opacity, int nrInputs, int inMin,
                            int inMax, int nrOutputs, int outMin, int outMax, int pixelAligned,
                            const std::function<int(void*, int, int)>& progress, const char* text,
                            void* context, TCMS::ConvertFunction convert) {
    report_.clear();
    DropConversion();
    const std::string label = text == nullptr || *text == '\0' ? "" : std::string(text) + ": ";
    auto refuse = [&](const std::string& why) {
        AddReport(label + why);
        return -1;
    };
    if (!def_.source || !def_.destination)
        return refuse("the strategy has no processes");
    if (nrInputs < 0)
        return refuse("negative number of input channels");
    if (nrInputs > 0 && static_cast<std::size_t>(nrInputs) != inks.size()) {
        return refuse(std::to_string(nrInputs) + " input channels for " +
                      std::to_string(inks.size()) + " input inks");
    }
    if (pixelAligned != 1)
        return refuse("only pixel-interleaved rows are supported");
    if (BadRange(inMin, inMax) || BadRange(outMin, outMax)) {
        return refuse("channel value ranges must lie within 0..255 and not be empty");
    }
    const int count = static_cast<int>(inks.size());
    InitOutputSpace(inks);
    const std::vector<TCMS::InkInfo> outputs = OutputChannels();
    if (nrOutputs != static_cast<int>(outputs.size())) {
        return refuse(std::to_string(nrOutputs) + " output channels asked for, the strategy has " +
                      std::to_string(outputs.size()));
    }
    if (progress && progress(context, 0, 2) != 0)
        return refuse("stopped by the caller");

    rdz::cms::TransformSet::Settings settings;
    settings.source = def_.source;
    settings.destination = def_.destination;
    settings.renderingIntent = def_.renderingIntent;
    settings.blackPointCompensation = def_.blackPointCompensation;
    settings.resolution = def_.resolution;
    settings.blackGeneration = def_.blackGeneration;
    settings.link = def_.link;
    std::shared_ptr<rdz::cms::TransformSet> transforms =
        cache_ && cache_->GetSettings() == settings
            ? cache_
            : std::make_shared<rdz::cms::TransformSet>(settings);

    const bool sameRanges = inMin == outMin && inMax == outMax;
    const std::vector<std::string> sourceNames = rdz::cms::SourceChannelNames(def_);
    const std::size_t nrValueChannels = ValueChannels(def_).size();
    rdz::cms::ConvertPlan plan;
    plan.nrInputs = count;
    plan.nrOutputs = nrOutputs;
    plan.processInput.assign(sourceNames.size(), -1);
    plan.inMin = inMin;
    plan.inMax = inMax;
    plan.outMin = outMin;
    plan.outMax = outMax;
    std::vector<bool> changed(static_cast<std::size_t>(count), true);

    for (int i = 0; i < count; ++i) {
        const std::shared_ptr<TInk>& ink = inks[i];
        const std::string channelName = "input channel " + std::to_string(i);
        if (!ink) {
            AddReport(label + channelName + " has no CMS ink: it is not converted");
            continue;
        }
        const int item = FindItem(ink->Book(), ink->Name());
        const auto option = item < 0 ? TCMS::InkOptionAutomatic : def_.advancedItems[item].option;
        if (option == TCMS::InkOptionExplicitValues) {
            std::vector<double> percent = def_.advancedItems[item].values;
            percent.resize(nrValueChannels, 0.0);
            percent.resize(outputs.size(), 0.0);
            plan.explicits.push_back({i, std::move(percent)});
            continue;
        }
        if (option == TCMS::InkOptionKeep) {
            plan.passes.push_back({i, KeptChannelFor(*ink, outputs)});
            changed[i] = !sameRanges;
            continue;
        }
        int channel = -1;
        if (!IsKnownSpotInk(*ink)) {
            for (std::size_t c = 0; c < sourceNames.size() && channel < 0; ++c) {
                if (EqualsIgnoringCase(sourceNames[c], ink->Name()))
                    channel = static_cast<int>(c);
            }
        }
        if (channel >= 0 && plan.processInput[channel] >= 0) {
            AddReport(label + channelName + " (" + ink->Name() +
                      ") is a second ink for source channel " + sourceNames[channel] +
                      ": it is not converted");
            continue;
        }
        if (channel >= 0) {
            plan.processInput[channel] = i;
            changed[i] = !(transforms->Identity() && sameRanges);
            continue;
        }
        if (rdz::cms::IsRegistrationInk(*ink)) {
            plan.explicits.push_back({i, rdz::cms::RegistrationValues(outputs)});
            continue;
        }
        const double* given = nrInputs > 0 && opacity != nullptr ? &opacity[i] : nullptr;
        plan.spots.push_back({i, ink->Lab(), rdz::cms::MixingOpacity(*ink, given)});
    }

    std::string error;
    converter_ = rdz::cms::PixelConverter::Create(std::move(plan), transforms, &error);
    if (!converter_)
        return refuse(error);
    if (progress && progress(context, 2, 2) != 0) {
        converter_.reset();
        return refuse("stopped by the caller");
    }
    changed_ = std::move(changed);
    convert_ = convert;
    context_ = context;
    return 0;
}

int TColTransf::Convert(const unsigned char* in, unsigned char* out, int n) {
    if (!converter_ || n < 0 || (n > 0 && (in == nullptr || out == nullptr)))
        return -1;
    if (n == 0)
        return 0;
    if (convert_ != nullptr)
        return convert_(context_, in, out, n);
    converter_->Convert(in, out, n);
    return 0;
}

int TColTransf::SampleNeedsConvert(const int* flags) const {
    if (!converter_ || flags == nullptr)
        return -1;
    for (std::size_t i = 0; i < changed_.size(); ++i) {
        if (flags[i] != 0 && changed_[i])
            return 1;
    }
    return 0;
}

void TColTransf::EndConvert(bool keepCache) {
    if (keepCache) {
        if (converter_)
            cache_ = converter_->Transforms();
    } else {
        cache_.reset();
    }
    DropConversion();
}
