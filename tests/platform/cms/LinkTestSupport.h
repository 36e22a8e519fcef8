// Shared pieces of the device-link tests: a database with the two Debian CMYK
// profiles, parameter records filled the way the profile converter fills
// them, storing a link the way it does, and transforms over stored links.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "host/CMS.h"
#include "tests/platform/cms/CmsTestSupport.h"

namespace cmstest {

constexpr const char* kProduct = "reseparation";

/// A scratch database whose processes are "default_cmyk.icc" and
/// "ps_cmyk.icc" (the Debian profiles).
class LinkDatabase : public ScratchDatabase {
  public:
    LinkDatabase();
    std::string LinkFolder() const;  // <db>/links/reseparation
};

/// A colour-space record: intent, black point compensation, 0x20 = 3,
/// 0x2C = 2 (the fine table).
TCMS::ProcLinkPar ColourSpacePar(TCMS::RenderingIntent intent, bool blackPointCompensation);
/// An ink-saving record with these four numbers (as the converter computes
/// them) and purpose: intent 3, 0x20 = 2, 0x2C as given.
TCMS::ProcLinkPar InkSavingPar(TCMS::BlackGenMode purpose, double a, double b, double c, double d,
                               int resolution = 2);

/// Names, saves and flushes the link; EXPECTs every step to succeed.
void Store(const std::shared_ptr<TProcLink>& link, const std::string& name);

/// A transform over the stored link, prepared for `inks` (the source's
/// channels when empty); null when it cannot be made or prepared.
std::shared_ptr<TColTransf> LinkTransform(const std::string& name, TInkVector inks = {});

std::shared_ptr<TProc> Process(const char* name);

/// `pixels` random CMYK pixels.
std::vector<unsigned char> RandomCmyk(int pixels, unsigned seed);

/// Applies an ICC file (a device link) with LittleCMS, 8 bits CMYK.
std::vector<unsigned char> ApplyIccLink(const std::string& file,
                                        const std::vector<unsigned char>& in);

/// L*a*b* of many 8-bit CMYK pixels through a profile file, relative
/// colorimetric (one transform for all).
std::vector<std::array<double, 3>> CmykToLabs(const std::string& profile,
                                              const std::vector<unsigned char>& cmyk);

int MaxDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);

}  // namespace cmstest
