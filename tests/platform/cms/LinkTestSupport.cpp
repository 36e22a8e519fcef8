#include "tests/platform/cms/LinkTestSupport.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <random>

#include "platform/cms/LcmsHandles.h"

namespace cmstest {

LinkDatabase::LinkDatabase() {
    AddProcess("default_cmyk.icc", DefaultCmyk());
    AddProcess("ps_cmyk.icc", PsCmyk());
}

std::string LinkDatabase::LinkFolder() const {
    return Folder() + "/links/" + kProduct;
}

TCMS::ProcLinkPar ColourSpacePar(TCMS::RenderingIntent intent, bool blackPointCompensation) {
    TCMS::ProcLinkPar par;
    par.renderingIntent = intent;
    par.int0x20 = 3;
    par.bool0x24 = true;
    par.int0x2C = 2;
    par.blackPointCompensation = blackPointCompensation;
    return par;
}

TCMS::ProcLinkPar InkSavingPar(TCMS::BlackGenMode purpose, double a, double b, double c, double d,
                               int resolution) {
    TCMS::ProcLinkPar par;
    par.renderingIntent = TCMS::RelativeColorimetric;
    par.int0x20 = 2;
    par.int0x2C = resolution;
    par.gcrParameters = TCMS_ProcLinkGCRParNewInkSaving(nullptr, purpose, a, b, c, d);
    EXPECT_TRUE(par.gcrParameters != nullptr);
    return par;
}

void Store(const std::shared_ptr<TProcLink>& link, const std::string& name) {
    ASSERT_TRUE(link != nullptr);
    EXPECT_EQ(0, TCMS_ProcLinkDBNewProduct(TCMS_GetLib(), kProduct));
    EXPECT_EQ(0, TCMS_ProcLinkSetName(link, name.c_str()));
    EXPECT_EQ(0, TCMS_ProcLinkSaveInDB(link, 1));
    EXPECT_EQ(0, TCMS_ProcLinkFlushDB(TCMS_GetLib()));
}

std::shared_ptr<TColTransf> LinkTransform(const std::string& name, TInkVector inks) {
    const auto transform = TCMS_ColTransfNew(TCMS_GetLib(), TCMS::ColTransfTypeProfile, kProduct,
                                             name.c_str(), TCMS::ResolutionHigh);
    if (!transform)
        return nullptr;
    if (inks.empty()) {
        const char* src = nullptr;
        TCMS_ColTransfGetSrcDstProfileNames(transform, &src, nullptr, false);
        inks = TCMS_ProcGetInks(Process(src));
    }
    return Prepare(transform, inks) == 0 ? transform : nullptr;
}

std::shared_ptr<TProc> Process(const char* name) {
    return TCMS_ProcDBNew(TCMS_GetLib(), name);
}

std::vector<unsigned char> RandomCmyk(int pixels, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<unsigned char> row(static_cast<std::size_t>(pixels) * 4);
    for (auto& value : row)
        value = static_cast<unsigned char>(byte(random));
    return row;
}

std::vector<unsigned char> ApplyIccLink(const std::string& file,
                                        const std::vector<unsigned char>& in) {
    rdz::cms::ProfileHandle link = OpenProfileFile(file);
    std::vector<unsigned char> out(in.size());
    if (!link)
        return {};
    rdz::cms::TransformHandle transform(cmsCreateTransform(
        link.get(), TYPE_CMYK_8, nullptr, TYPE_CMYK_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!transform)
        return {};
    cmsDoTransform(transform.get(), in.data(), out.data(),
                   static_cast<cmsUInt32Number>(in.size() / 4));
    return out;
}

std::vector<std::array<double, 3>> CmykToLabs(const std::string& profile,
                                              const std::vector<unsigned char>& cmyk) {
    rdz::cms::ProfileHandle device = OpenProfileFile(profile);
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::TransformHandle toLab(cmsCreateTransform(device.get(), TYPE_CMYK_8, lab.get(),
                                                       TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                                       cmsFLAGS_NOCACHE));
    std::vector<std::array<double, 3>> result(cmyk.size() / 4);
    cmsDoTransform(toLab.get(), cmyk.data(), result.data(),
                   static_cast<cmsUInt32Number>(result.size()));
    return result;
}

int MaxDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

}  // namespace cmstest
