// Measuring an ink-saving device link, and ArgyllCMS's collink as the
// reference to measure against: shared by the ink-saving tests and the
// benchmark (bench/cms/InkSavingBench.cpp).
//
// The measure: a grid of 65,536 CMYK pixels (16 levels per channel, 0, 17,
// ..., 255) goes through the link, applied by LittleCMS in 8 bits with its
// default optimisation. Ink saved is the mean total ink before less the mean
// after, in percentage points (the grid's mean is 200%). Accuracy is the
// CIEDE2000 between each pixel before and after, both through the profile
// (relative colorimetric, LittleCMS).
#pragma once

#include <string>
#include <vector>

namespace cmstest {

/// Every CMYK of `levels` levels per channel, evenly from 0 to 255 (16:
/// 65,536 pixels).
std::vector<unsigned char> CmykGrid(int levels = 16);

struct InkFigures {
    double inkBefore = 0.0;  // mean total ink of the grid, percent
    double inkAfter = 0.0;
    double meanDeltaE = 0.0;  // CIEDE2000, before against after
    double p95DeltaE = 0.0;
    double maxDeltaE = 0.0;
    int maxTotal = 0;  // the largest sum of the four 8-bit channels after

    double Saved() const { return inkBefore - inkAfter; }
};

/// Applies the device link in file `link` to `grid` and measures it on
/// `profile` (a file). False with the reason in `*error` when LittleCMS
/// cannot apply the link.
bool MeasureLink(const std::string& link, const std::string& profile,
                 const std::vector<unsigned char>& grid, InkFigures* figures, std::string* error);

/// True when ArgyllCMS's collink can be run (Debian package argyll).
bool CollinkAvailable();

/// The collink arguments of an ink-saving link on one profile: gamut mapping
/// through the inverse of the profile's table (-G, which the black
/// generation needs), relative colorimetric, medium quality, the total ink
/// limit in percent, and black generation `black`: "p 0 0 1 1 1" (a ramp from
/// no black at white to full black at black, "-kp") or "x" (as much black as
/// each colour allows, "-kx").
std::string CollinkArguments(const std::string& black, int totalInkPercent);

/// The ink-saving links collink makes from `profile` to itself, one per
/// entry of `blacks`, run side by side. Each is kept in `cacheFolder` under
/// a name made from the profile's bytes and the arguments, and found there
/// again instead of being made anew. Returns the files in the order of
/// `blacks`, or nothing with the reason in `*error`.
std::vector<std::string> CollinkLinks(const std::string& profile,
                                      const std::vector<std::string>& blacks, int totalInkPercent,
                                      const std::string& cacheFolder, std::string* error);

/// `count` neutral greys (a* = b* = 0) of `profile` from L* 100 down to
/// `darkest`, as 16-bit CMYK: LittleCMS's separation of each grey, refined by
/// Newton steps on cyan, magenta and yellow through the profile.
std::vector<unsigned short> NeutralGreys(const std::string& profile, int count, double darkest);

}  // namespace cmstest
