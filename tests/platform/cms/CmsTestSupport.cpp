#include "tests/platform/cms/CmsTestSupport.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/cms/StandIn.h"

namespace fs = std::filesystem;

namespace cmstest {

std::string DefaultCmyk() {
    return std::string(RDZ_GS_ICC_DIR) + "/default_cmyk.icc";
}
std::string PsCmyk() {
    return std::string(RDZ_GS_ICC_DIR) + "/ps_cmyk.icc";
}
std::string ExampleDatabase() {
    return RDZ_EXAMPLE_CMSDB;
}

ScratchDatabase::ScratchDatabase() {
    std::string pattern = (fs::temp_directory_path() / "rdz-cmsdb-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
}

ScratchDatabase::~ScratchDatabase() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void ScratchDatabase::Write(const std::string& relative, const std::string& text) const {
    const fs::path path = fs::path(folder_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void ScratchDatabase::AddProcess(const std::string& name, const std::string& file) const {
    const fs::path dir = fs::path(folder_) / "processes";
    fs::create_directories(dir);
    fs::copy_file(file, dir / name, fs::copy_options::overwrite_existing);
}

OpenDatabase::OpenDatabase(const std::string& folder) {
    rdz::cms::SetDatabaseFolder(folder);
    TCMS_Init();
}

OpenDatabase::~OpenDatabase() {
    TCMS_End();
    rdz::cms::SetDatabaseFolder("");
}

rdz::cms::ProfileHandle OpenProfileFile(const std::string& path) {
    return rdz::cms::ProfileHandle(cmsOpenProfileFromFile(path.c_str(), "r"));
}

std::array<double, 3> CmykToLab(const std::string& profile,
                                const std::array<unsigned char, 4>& cmyk) {
    rdz::cms::ProfileHandle device = OpenProfileFile(profile);
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::TransformHandle toLab(cmsCreateTransform(device.get(), TYPE_CMYK_8, lab.get(),
                                                       TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                                       cmsFLAGS_NOCACHE));
    cmsCIELab colour{};
    cmsDoTransform(toLab.get(), cmyk.data(), &colour, 1);
    return {{colour.L, colour.a, colour.b}};
}

double DeltaE2000(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    const cmsCIELab la{a[0], a[1], a[2]};
    const cmsCIELab lb{b[0], b[1], b[2]};
    return cmsCIE2000DeltaE(&la, &lb, 1.0, 1.0, 1.0);
}

int Prepare(const std::shared_ptr<TColTransf>& strategy, const TInkVector& inks,
            const std::vector<double>& opacity) {
    TCMS_ColTransfInitOutputSpace(strategy, inks);
    const auto outputs = TCMS_ColTransfGetNamesOfOutputInks(strategy, false);
    std::vector<double> given(opacity);
    given.resize(inks.size(), 0.0);
    return TCMS_ColTransfInitConvert(strategy, inks, given.data(), static_cast<int>(inks.size()), 0,
                                     255, static_cast<int>(outputs.size()), 0, 255, 1, 0, {}, {},
                                     nullptr, nullptr, nullptr, false);
}

std::vector<unsigned char> ConvertRow(const std::shared_ptr<TColTransf>& strategy,
                                      const std::vector<unsigned char>& in, int nrInputs) {
    const auto outputs = TCMS_ColTransfGetNamesOfOutputInks(strategy, false);
    const int n = static_cast<int>(in.size()) / nrInputs;
    std::vector<unsigned char> out(static_cast<std::size_t>(n) * outputs.size(), 0xEE);
    EXPECT_EQ(0, TCMS_ColTransfConvertAligned(strategy, in.data(), out.data(), n));
    return out;
}

TInkVector ProcessInks() {
    TInkVector inks;
    for (const char* name : {"Cyan", "Magenta", "Yellow", "Black"}) {
        inks.push_back(TIDB_GetInk(TCMS_GetLib(), "Process", name));
    }
    return inks;
}

}  // namespace cmstest
