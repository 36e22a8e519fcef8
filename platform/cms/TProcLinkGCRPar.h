// Grey-component replacement (GCR) parameters of a device link: how black
// replaces the grey component of cyan, magenta and yellow, under which ink
// limits. Made by TCMS_ProcLinkGCRParNewInkSaving and TCMS_ProcLinkGCRParDBNew;
// immutable once made. How the separation uses them: InkSaving.h.
#pragma once

#include <array>
#include <string>

#include "host/CMS.h"
#include "platform/cms/JsonReader.h"

namespace rdz::cms {

/// The parameters as the separation reads them, every value within its range.
struct GcrSettings {
    /// Shape of the black curve (TCMS::BlackGenMode 0..4).
    int purpose = TCMS::BlackGenModeNone;
    /// Total ink limit in units of 100% (1 to 4; 4: no limit for four inks).
    double totalInk = 4.0;
    /// Darkness (0 paper .. 1 all inks at 100%) at which black generation
    /// starts.
    double startK = 1.0;
    /// Most black the curve generates (0..1).
    double maximumK = 1.0;
    /// How far from neutral the curve reaches (0: nowhere, 1: every colour;
    /// RangeWeight in InkSaving.h).
    double range = 0.0;
    /// Limit of each channel, C, M, Y, K (0..1; 1: none).
    std::array<double, 4> channelLimit{{1.0, 1.0, 1.0, 1.0}};
    /// A colour printed with black alone stays black alone.
    bool keepBlackOnly = true;

    /// True when the separation would change nothing: no ink limit and no
    /// black generated anywhere.
    bool Neutral() const;
    /// Every value, for the identity of a link made with these settings.
    json::Json ToJson() const;
};

/// Reads the four numbers of the ink-saving form: total ink = 4 x (1 - a),
/// black start = 1 - b, black maximum = 1 - c, range = d. Each result is
/// clamped into its range (total ink 1..4, the others 0..1), so that option
/// values passed as they stand (400, 0, 100 and 50 give -99, 1, -99, 50)
/// mean "no limit, full black range". False for a number that is not finite.
bool ReadFourNumbers(double a, double b, double c, double d, GcrSettings* settings);

}  // namespace rdz::cms

class TProcLinkGCRPar {
  public:
    /// `given` records the arguments as the caller passed them.
    TProcLinkGCRPar(std::string name, rdz::cms::GcrSettings settings, rdz::cms::json::Json given);

    const std::string& Name() const { return name_; }
    const rdz::cms::GcrSettings& Settings() const { return settings_; }
    const rdz::cms::json::Json& Given() const { return given_; }

  private:
    std::string name_;
    rdz::cms::GcrSettings settings_;
    rdz::cms::json::Json given_;
};
