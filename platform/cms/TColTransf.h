// A Color Strategy, or a transform between two processes: settings from the
// database (or from an import, or from the two-profile form of
// TCMS_ColTransfNew) plus, between TCMS_ColTransfInitConvert and
// TCMS_ColTransfEndConvert, the prepared pixel conversion.
//
// How input inks are converted (decided at TCMS_ColTransfInitConvert, in
// this order for each input ink):
//   - no CMS ink (an empty entry): contributes nothing; reported;
//   - an advanced item with option 4: its tint times the item's values goes
//     straight to the output channels (percent of the channel at full tint);
//   - an advanced item with option 1 (keep): its value passes through to the
//     output channel of the same ink, added at the end when there is none;
//   - a process ink of the source (its name is a source channel's, ignoring
//     case, and it is not a spot ink of an ink book or process): that channel
//     of the source profile; a second ink for the same channel is reported and
//     contributes nothing;
//   - the registration ink ("All" built from a document's colour values):
//     its tint times 100% goes to every process channel of the destination,
//     so that it prints on every plate (InkRules.h);
//   - any other ink: mixed in through its L*a*b* and opacity (OverprintModel.h;
//     which opacity: InkRules.h).
// Pixels without spot ink go through the source-to-destination transform
// (a copy when both processes have the same profile); pixels with spot ink
// through source -> XYZ, the overprint model, and L*a*b* -> destination.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/CMS.h"
#include "platform/cms/StrategyDef.h"

namespace rdz::cms {
class PixelConverter;
class TransformSet;
}  // namespace rdz::cms

class TColTransf {
  public:
    TColTransf(std::shared_ptr<const TCMSLibrary> lib, rdz::cms::StrategyDef def);
    ~TColTransf();

    const TCMSLibrary* Library() const { return lib_.get(); }
    const rdz::cms::StrategyDef& Def() const { return def_; }

    /// Replaces the settings (an import); drops the prepared conversion.
    void Replace(rdz::cms::StrategyDef def);
    bool IsProcessInk(const std::string& book, const std::string& ink) const;

    /// Every output channel: the value channels, then the kept inks found by
    /// the last InitOutputSpace.
    std::vector<TCMS::InkInfo> OutputChannels() const;
    std::vector<TCMS::InkInfo> PrintedChannels() const;

    int FindItem(const std::string& book, const std::string& ink) const;
    int ChangeItem(int index, const char* ink, const char* book, int optionGUI, int nrValues,
                   const double* values);

    int SetProfiles(const char* src, const char* dst, int recalculate,
                    TCMS::ProgressFunction progress, void* context,
                    TCMS::ColTransfProfileUpdateSettings settings);
    int SetDeviceLinkPolicy(int policy, const char* linkName);

    void InitOutputSpace(const TInkVector& inks);
    int InitConvert(const TInkVector& inks, const double* opacity, int nrInputs, int inMin,
                    int inMax, int nrOutputs, int outMin, int outMax, int pixelAligned,
                    const std::function<int(void*, int, int)>& progress, const char* text,
                    void* context, TCMS::ConvertFunction convert);
    /// Safe to call from several threads at once between InitConvert and
    /// EndConvert, while no other member changes the strategy (a conversion
    /// function given to InitConvert must then be safe too). Every other
    /// member is for one thread at a time.
    int Convert(const unsigned char* in, unsigned char* out, int n);
    int SampleNeedsConvert(const int* flags) const;
    void EndConvert(bool keepCache);

    /// Texts the last InitConvert or import had to report.
    const std::vector<std::string>& Report() const { return report_; }
    void AddReport(const std::string& text);

  private:
    void DropConversion();
    int KeptChannelFor(const TInk& ink, const std::vector<TCMS::InkInfo>& channels) const;

    std::shared_ptr<const TCMSLibrary> lib_;
    rdz::cms::StrategyDef def_;
    std::vector<TCMS::InkInfo> kept_;
    std::vector<std::string> report_;
    std::unique_ptr<rdz::cms::PixelConverter> converter_;
    std::shared_ptr<rdz::cms::TransformSet> cache_;
    std::vector<bool> changed_;  // per input channel: the strategy changes it
    TCMS::ConvertFunction convert_ = nullptr;
    void* context_ = nullptr;
};
