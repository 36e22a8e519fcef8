// Shared pieces of the CMS library tests: scratch database folders, an open
// database for the length of a test, and LittleCMS applied directly to check
// results against.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "host/CMS.h"
#include "platform/cms/LcmsHandles.h"

namespace cmstest {

/// The two CMYK profiles of Debian's libgs-common.
std::string DefaultCmyk();  // default_cmyk.icc
std::string PsCmyk();       // ps_cmyk.icc

/// A database folder made for one test and removed afterwards.
class ScratchDatabase {
  public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    const std::string& Folder() const { return folder_; }
    /// Writes `text` to `relative` (folders are created).
    void Write(const std::string& relative, const std::string& text) const;
    /// Copies a file into processes/ under `name`.
    void AddProcess(const std::string& name, const std::string& file) const;

  private:
    std::string folder_;
};

/// Opens `folder` as the database for its lifetime (one TCMS_Init, one TCMS_End).
class OpenDatabase {
  public:
    explicit OpenDatabase(const std::string& folder);
    ~OpenDatabase();
    OpenDatabase(const OpenDatabase&) = delete;
    OpenDatabase& operator=(const OpenDatabase&) = delete;
};

/// The example database of the build tree (the Debian profiles included).
std::string ExampleDatabase();

rdz::cms::ProfileHandle OpenProfileFile(const std::string& path);
/// L*a*b* (D50) of an 8-bit CMYK through a profile, relative colorimetric.
std::array<double, 3> CmykToLab(const std::string& profile,
                                const std::array<unsigned char, 4>& cmyk);
double DeltaE2000(const std::array<double, 3>& a, const std::array<double, 3>& b);

/// Prepares `strategy` for `inks` with every output channel, 0..255 ranges.
int Prepare(const std::shared_ptr<TColTransf>& strategy, const TInkVector& inks,
            const std::vector<double>& opacity = {});
/// Converts one row; the output has the strategy's every output channel.
std::vector<unsigned char> ConvertRow(const std::shared_ptr<TColTransf>& strategy,
                                      const std::vector<unsigned char>& in, int nrInputs);

/// The process inks of the "Process" book, in C, M, Y, K order.
TInkVector ProcessInks();

}  // namespace cmstest
