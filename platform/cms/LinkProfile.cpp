#include "platform/cms/LinkProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "platform/cms/LcmsHandles.h"

namespace rdz::cms {

namespace {

bool Insert(cmsPipeline* pipeline, StageHandle stage) {
    if (!stage || !cmsPipelineInsertStage(pipeline, cmsAT_END, stage.get()))
        return false;
    stage.release();  // the pipeline owns it now
    return true;
}

NamedColorListHandle Colorants(const std::vector<std::string>& names,
                               const std::vector<std::array<double, 3>>& lab) {
    NamedColorListHandle list(
        cmsAllocNamedColorList(nullptr, static_cast<cmsUInt32Number>(names.size()), 0, "", ""));
    if (!list)
        return list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        cmsUInt16Number pcs[3] = {0, 0, 0};
        if (i < lab.size()) {
            const cmsCIELab colour{lab[i][0], lab[i][1], lab[i][2]};
            cmsFloat2LabEncoded(pcs, &colour);
        }
        // The tag keeps 31 bytes of each name; the link's JSON keeps the whole.
        const std::string name = names[i].substr(0, 31);
        if (!cmsAppendNamedColor(list.get(), name.c_str(), pcs, nullptr))
            return nullptr;
    }
    return list;
}

class Reader {
  public:
    explicit Reader(const std::vector<unsigned char>& bytes) : b_(bytes) {}
    bool Has(std::size_t at, std::size_t count) const {
        return at <= b_.size() && count <= b_.size() - at;
    }
    std::uint32_t U32(std::size_t at) const {
        return (std::uint32_t{b_[at]} << 24) | (std::uint32_t{b_[at + 1]} << 16) |
               (std::uint32_t{b_[at + 2]} << 8) | std::uint32_t{b_[at + 3]};
    }
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>((b_[at] << 8) | b_[at + 1]);
    }
    unsigned char U8(std::size_t at) const { return b_[at]; }

  private:
    const std::vector<unsigned char>& b_;
};

constexpr std::uint32_t Sig(const char (&text)[5]) {
    return (std::uint32_t(static_cast<unsigned char>(text[0])) << 24) |
           (std::uint32_t(static_cast<unsigned char>(text[1])) << 16) |
           (std::uint32_t(static_cast<unsigned char>(text[2])) << 8) |
           std::uint32_t(static_cast<unsigned char>(text[3]));
}

/// Skips `count` identity curves starting at `at`; false for anything else.
bool IdentityCurves(const Reader& r, std::size_t at, int count) {
    for (int i = 0; i < count; ++i) {
        if (!r.Has(at, 12))
            return false;
        std::size_t size = 0;
        if (r.U32(at) == Sig("para")) {
            // Function type 0 with gamma 1.0 (s15Fixed16).
            if (!r.Has(at, 16) || r.U16(at + 8) != 0 || r.U32(at + 12) != 0x00010000u)
                return false;
            size = 16;
        } else if (r.U32(at) == Sig("curv")) {
            const std::uint32_t entries = r.U32(at + 8);
            if (entries == 0) {
                size = 12;
            } else if (entries == 1 && r.Has(at, 14) && r.U16(at + 12) == 0x0100) {
                size = 14;
            } else {
                return false;
            }
        } else {
            return false;
        }
        at += (size + 3) & ~std::size_t{3};
    }
    return true;
}

}  // namespace

std::vector<unsigned char> WriteLinkProfile(const LinkTable& table, const LinkProfileInfo& info,
                                            std::string* error) {
    auto fail = [error](const char* why) {
        *error = why;
        return std::vector<unsigned char>();
    };
    ProfileHandle profile(cmsCreateProfilePlaceholder(nullptr));
    if (!profile)
        return fail("LittleCMS cannot create a profile");
    cmsHPROFILE p = profile.get();
    cmsSetProfileVersion(p, 4.3);
    cmsSetDeviceClass(p, cmsSigLinkClass);
    cmsSetColorSpace(p, static_cast<cmsColorSpaceSignature>(info.inputSpace));
    cmsSetPCS(p, static_cast<cmsColorSpaceSignature>(info.outputSpace));
    cmsSetHeaderRenderingIntent(p, static_cast<cmsUInt32Number>(info.intent));

    std::vector<cmsUInt16Number> entries(table.values.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double v = std::clamp(static_cast<double>(table.values[i]), 0.0, 1.0);
        entries[i] = static_cast<cmsUInt16Number>(std::lround(v * 65535.0));
    }
    const auto nIn = static_cast<cmsUInt32Number>(table.nIn);
    const auto nOut = static_cast<cmsUInt32Number>(table.nOut);
    const std::vector<cmsUInt32Number> points(nIn, static_cast<cmsUInt32Number>(table.grid));
    PipelineHandle pipeline(cmsPipelineAlloc(nullptr, nIn, nOut));
    // The ICC v4 layout of a table asks for curves on both sides of it.
    if (!pipeline ||
        !Insert(pipeline.get(), StageHandle(cmsStageAllocToneCurves(nullptr, nIn, nullptr))) ||
        !Insert(pipeline.get(), StageHandle(cmsStageAllocCLut16bitGranular(
                                    nullptr, points.data(), nIn, nOut, entries.data()))) ||
        !Insert(pipeline.get(), StageHandle(cmsStageAllocToneCurves(nullptr, nOut, nullptr)))) {
        return fail("LittleCMS cannot build the link's table");
    }
    if (!cmsWriteTag(p, cmsSigAToB0Tag, pipeline.get()))
        return fail("LittleCMS cannot write the link's table");

    MluHandle description(cmsMLUalloc(nullptr, 1));
    if (!description || !cmsMLUsetASCII(description.get(), "en", "US", info.description.c_str()) ||
        !cmsWriteTag(p, cmsSigProfileDescriptionTag, description.get())) {
        return fail("LittleCMS cannot write the link's description");
    }
    NamedColorListHandle inputs = Colorants(info.inputNames, info.inputLab);
    NamedColorListHandle outputs = Colorants(info.outputNames, info.outputLab);
    if (!inputs || !outputs || !cmsWriteTag(p, cmsSigColorantTableTag, inputs.get()) ||
        !cmsWriteTag(p, cmsSigColorantTableOutTag, outputs.get())) {
        return fail("LittleCMS cannot write the link's colorant tables");
    }

    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(p, nullptr, &size) || size == 0)
        return fail("LittleCMS cannot write the link profile");
    std::vector<unsigned char> bytes(size);
    if (!cmsSaveProfileToMem(p, bytes.data(), &size))
        return fail("LittleCMS cannot write the link profile");
    bytes.resize(size);
    return bytes;
}

bool ReadLinkTable(const std::vector<unsigned char>& icc, RawLinkTable* table, std::string* why) {
    auto fail = [why](const char* text) {
        *why = text;
        return false;
    };
    const Reader r(icc);
    if (!r.Has(0, 132) || r.U32(36) != Sig("acsp"))
        return fail("not an ICC profile");
    if (r.U32(12) != Sig("link"))
        return fail("not a device-link profile");
    const std::uint32_t tags = r.U32(128);
    if (tags > 1000 || !r.Has(132, std::size_t{tags} * 12))
        return fail("the tag table is damaged");
    std::size_t at = 0;
    std::size_t length = 0;
    for (std::uint32_t i = 0; i < tags; ++i) {
        const std::size_t entry = 132 + std::size_t{i} * 12;
        if (r.U32(entry) == Sig("A2B0")) {
            at = r.U32(entry + 4);
            length = r.U32(entry + 8);
        }
    }
    if (at == 0 || !r.Has(at, length) || length < 32)
        return fail("the profile has no AToB0 table");
    if (r.U32(at) != Sig("mAB "))
        return fail("the AToB0 table is not of type lutAtoB");
    const int nIn = r.U8(at + 8);
    const int nOut = r.U8(at + 9);
    if (nIn < 1 || nIn > 15 || nOut < 1 || nOut > 15)
        return fail("the AToB0 table has an unusable number of channels");
    const std::uint32_t offB = r.U32(at + 12), offMatrix = r.U32(at + 16), offM = r.U32(at + 20),
                        offClut = r.U32(at + 24), offA = r.U32(at + 28);
    if (offMatrix != 0 || offM != 0 || offB == 0 || offClut == 0 || offA == 0)
        return fail("the AToB0 table is not a plain lookup table");
    if (offB >= length || offClut >= length || offA >= length ||
        !IdentityCurves(r, at + offA, nIn) || !IdentityCurves(r, at + offB, nOut)) {
        return fail("the AToB0 table has curves other than identities");
    }
    const std::size_t clut = at + offClut;
    if (!r.Has(clut, 20) || r.U8(clut + 16) != 2)
        return fail("the AToB0 table is not a 16-bit lookup table");
    std::size_t count = static_cast<std::size_t>(nOut);
    table->grid.assign(static_cast<std::size_t>(nIn), 0);
    for (int c = 0; c < nIn; ++c) {
        const std::uint32_t points = r.U8(clut + static_cast<std::size_t>(c));
        if (points < 2)
            return fail("the lookup table has fewer than 2 points on a channel");
        table->grid[static_cast<std::size_t>(c)] = points;
        count *= points;
        if (count > (std::size_t{1} << 28))
            return fail("the lookup table is too large");
    }
    if (!r.Has(clut + 20, count * 2) || clut + 20 + count * 2 > at + length)
        return fail("the lookup table is cut short");
    table->nIn = nIn;
    table->nOut = nOut;
    table->entries.resize(count);
    const unsigned char* data = icc.data() + clut + 20;
    for (std::size_t i = 0; i < count; ++i) {
        table->entries[i] = static_cast<std::uint16_t>((data[2 * i] << 8) | data[2 * i + 1]);
    }
    return true;
}

}  // namespace rdz::cms
