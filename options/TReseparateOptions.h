// Settings of the profile converter and the ICC device-link converter.
#pragma once

#include <map>
#include <string>

#include "host/CMS.h"
#include "options/RdzExport.h"

/// A colour that a colour-space conversion can keep pure.
enum CleanColorsInk : int {
    CleanCyan = 0,
    CleanMagenta = 1,
    CleanYellow = 2,
    CleanRed = 3,    // Magenta + Yellow
    CleanGreen = 4,  // Cyan + Yellow
    CleanBlue = 5,   // Cyan + Magenta
};

class RDZ_EXPORT TReseparateOptions {
public:
    /// Defaults: no colour-space conversion, no reseparation, black point
    /// compensation on, options' profiles (not the document's), no clean
    /// colours, no device link or profile names, rendering intent 3 (relative
    /// colorimetric), purpose 3, total ink 400, maximum K 100, range 50,
    /// start K 0. Skeleton black defaults to false and smoothing to 0.0: the
    /// conversions do not read them, and a defined value keeps copies and
    /// comparisons of the record well defined.
    TReseparateOptions();
    TReseparateOptions(const TReseparateOptions& other);
    TReseparateOptions& operator=(const TReseparateOptions& other);
    ~TReseparateOptions();

    bool GetrodadazErivospace() const;  // convert the colour space
    void SetRodadazErivoSpace(bool convert);
    bool GetReseparate() const;
    void SetReseparate(bool reseparate);
    bool GetBlackPointCompensation() const;
    void SetBlackPointCompensation(bool compensate);
    bool GetUseDocumentProfile() const;
    void SetUseDocumentProfile(bool use);
    bool GetUseSkeletonBlack() const;
    void SetUseSkeletonBlack(bool use);

    /// The stored value, false for a colour never set.
    bool GetCleanColors(CleanColorsInk ink) const;
    void SetCleanColors(CleanColorsInk ink, bool keepPure);

    std::string GetIccDeviceLink() const;  // a file name or a file: URL
    void SetIccDeviceLink(const std::string& link);
    std::string GetSourceProfile() const;
    void SetSourceProfile(const std::string& profile);
    std::string GetDestinationProfile() const;
    void SetDestinationProfile(const std::string& profile);

    TCMS::RenderingIntent GetRenderingIntent() const;
    void SetRenderingIntent(TCMS::RenderingIntent intent);
    TCMS::BlackGenMode GetPurpose() const;
    void SetPurpose(TCMS::BlackGenMode purpose);

    /// Ink-saving settings, in fractions: total ink in units of 100% (3.2
    /// means 320%), maximum K, start K and range from 0 to 1 (0.9 means
    /// 90%). The defaults (total ink 400, maximum K 100, range 50) lie beyond
    /// those ranges and are read as their ends: no ink limit, black up to
    /// 100%, black reaching every colour.
    double GetTotalInk() const;
    void SetTotalInk(double totalInk);
    double GetMaximumK() const;
    void SetMaximumK(double maximumK);
    double GetRange() const;
    void SetRange(double range);
    double GetSmoothing() const;
    void SetSmoothing(double smoothing);
    double GetStartK() const;
    void SetStartK(double startK);

private:
    bool rodadazErivoSpace;
    bool reseparate;
    bool blackPointCompensation;
    bool useDocumentProfile;
    bool useSkeletonBlack;
    std::map<CleanColorsInk, bool> cleanColors;
    std::string iccDeviceLink;
    std::string sourceProfile;
    std::string destinationProfile;
    TCMS::RenderingIntent renderingIntent;
    TCMS::BlackGenMode purpose;
    double totalInk;
    double maximumK;
    double range;
    double smoothing;
    double startK;
};
