#include "options/TReseparateOptions.h"

TReseparateOptions::TReseparateOptions()
    : rodadazErivoSpace(false),
      reseparate(false),
      blackPointCompensation(true),
      useDocumentProfile(false),
      useSkeletonBlack(false),
      renderingIntent(TCMS::RelativeColorimetric),
      purpose(static_cast<TCMS::BlackGenMode>(3)),
      totalInk(400.0),
      maximumK(100.0),
      range(50.0),
      smoothing(0.0),
      startK(0.0) {}

TReseparateOptions::TReseparateOptions(const TReseparateOptions& other) = default;
TReseparateOptions& TReseparateOptions::operator=(const TReseparateOptions& other) = default;
TReseparateOptions::~TReseparateOptions() = default;

bool TReseparateOptions::GetrodadazErivospace() const { return rodadazErivoSpace; }
void TReseparateOptions::SetRodadazErivoSpace(bool convert) { rodadazErivoSpace = convert; }
bool TReseparateOptions::GetReseparate() const { return reseparate; }
void TReseparateOptions::SetReseparate(bool value) { reseparate = value; }
bool TReseparateOptions::GetBlackPointCompensation() const { return blackPointCompensation; }
void TReseparateOptions::SetBlackPointCompensation(bool compensate) {
    blackPointCompensation = compensate;
}
bool TReseparateOptions::GetUseDocumentProfile() const { return useDocumentProfile; }
void TReseparateOptions::SetUseDocumentProfile(bool use) { useDocumentProfile = use; }
bool TReseparateOptions::GetUseSkeletonBlack() const { return useSkeletonBlack; }
void TReseparateOptions::SetUseSkeletonBlack(bool use) { useSkeletonBlack = use; }

bool TReseparateOptions::GetCleanColors(CleanColorsInk ink) const {
    auto it = cleanColors.find(ink);
    return it != cleanColors.end() && it->second;
}
void TReseparateOptions::SetCleanColors(CleanColorsInk ink, bool keepPure) {
    cleanColors[ink] = keepPure;
}

std::string TReseparateOptions::GetIccDeviceLink() const { return iccDeviceLink; }
void TReseparateOptions::SetIccDeviceLink(const std::string& link) { iccDeviceLink = link; }
std::string TReseparateOptions::GetSourceProfile() const { return sourceProfile; }
void TReseparateOptions::SetSourceProfile(const std::string& profile) { sourceProfile = profile; }
std::string TReseparateOptions::GetDestinationProfile() const { return destinationProfile; }
void TReseparateOptions::SetDestinationProfile(const std::string& profile) {
    destinationProfile = profile;
}

TCMS::RenderingIntent TReseparateOptions::GetRenderingIntent() const { return renderingIntent; }
void TReseparateOptions::SetRenderingIntent(TCMS::RenderingIntent intent) {
    renderingIntent = intent;
}
TCMS::BlackGenMode TReseparateOptions::GetPurpose() const { return purpose; }
void TReseparateOptions::SetPurpose(TCMS::BlackGenMode value) { purpose = value; }

double TReseparateOptions::GetTotalInk() const { return totalInk; }
void TReseparateOptions::SetTotalInk(double value) { totalInk = value; }
double TReseparateOptions::GetMaximumK() const { return maximumK; }
void TReseparateOptions::SetMaximumK(double value) { maximumK = value; }
double TReseparateOptions::GetRange() const { return range; }
void TReseparateOptions::SetRange(double value) { range = value; }
double TReseparateOptions::GetSmoothing() const { return smoothing; }
void TReseparateOptions::SetSmoothing(double value) { smoothing = value; }
double TReseparateOptions::GetStartK() const { return startK; }
void TReseparateOptions::SetStartK(double value) { startK = value; }
