#include "EngineFixtures.h"

#include <cstring>
#include <fstream>
#include <iterator>

Bytes GhostscriptProfile(const std::string& name) {
    std::ifstream in("/usr/share/color/icc/ghostscript/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Save(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    return bytes;
}

ProfilePtr Open(const Bytes& bytes) {
    return ProfilePtr(
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

TintProfile OpenProfile(const Bytes& bytes) {
    return TintLittleCMS::GetInstance()->OpenProfile(bytes.data(),
                                                     static_cast<unsigned int>(bytes.size()));
}

TintDLProfile OpenDL(const Bytes& bytes) {
    return TintLittleCMS::GetInstance()->OpenDLProfile(bytes.data(),
                                                       static_cast<unsigned int>(bytes.size()));
}

Bytes HeaderOnlyProfile(cmsProfileClassSignature deviceClass, cmsColorSpaceSignature space,
                        cmsColorSpaceSignature pcs, double version) {
    ProfilePtr profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetDeviceClass(profile.get(), deviceClass);
    cmsSetColorSpace(profile.get(), space);
    cmsSetPCS(profile.get(), pcs);
    cmsSetProfileVersion(profile.get(), version);
    return Save(profile.get());
}

namespace {

struct ClutCargo {
    cmsUInt32Number inputs, outputs;
    bool invert;
};

cmsInt32Number SampleClut(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    const auto* c = static_cast<const ClutCargo*>(cargo);
    for (cmsUInt32Number k = 0; k < c->outputs; ++k) {
        const cmsUInt16Number v = in[k % c->inputs];
        out[k] = c->invert ? static_cast<cmsUInt16Number>(65535 - v) : v;
    }
    return 1;
}

void WriteClut(cmsHPROFILE profile, cmsTagSignature tag, cmsUInt32Number inputs,
               cmsUInt32Number outputs, bool invert) {
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, inputs, outputs);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 2, inputs, outputs, nullptr);
    ClutCargo cargo{inputs, outputs, invert};
    cmsStageSampleCLut16bit(clut, SampleClut, &cargo, 0);
    // Identity curves around the table make it a valid lutAtoBType.
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, inputs, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, outputs, nullptr));
    cmsWriteTag(profile, tag, pipeline);
    cmsPipelineFree(pipeline);
}

cmsUInt32Number ReadBig32(const Bytes& bytes, std::size_t at) {
    return (cmsUInt32Number(bytes[at]) << 24) | (cmsUInt32Number(bytes[at + 1]) << 16) |
           (cmsUInt32Number(bytes[at + 2]) << 8) | cmsUInt32Number(bytes[at + 3]);
}

}  // namespace

ProfilePtr ClutDeviceLink(cmsColorSpaceSignature in, cmsColorSpaceSignature out,
                          cmsUInt32Number headerIntent, bool saturationInverts) {
    ProfilePtr profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetDeviceClass(profile.get(), cmsSigLinkClass);
    cmsSetColorSpace(profile.get(), in);
    cmsSetPCS(profile.get(), out);
    cmsSetProfileVersion(profile.get(), 4.3);
    cmsSetHeaderRenderingIntent(profile.get(), headerIntent);
    WriteClut(profile.get(), cmsSigAToB0Tag, cmsChannelsOf(in), cmsChannelsOf(out), false);
    if (saturationInverts) {
        WriteClut(profile.get(), cmsSigAToB2Tag, cmsChannelsOf(in), cmsChannelsOf(out), true);
    }
    return profile;
}

void AddColorantTable(cmsHPROFILE profile, cmsTagSignature tag,
                      const std::vector<std::string>& names) {
    cmsNAMEDCOLORLIST* list =
        cmsAllocNamedColorList(nullptr, static_cast<cmsUInt32Number>(names.size()), 0, "", "");
    cmsUInt16Number pcs[3] = {0, 0, 0};
    for (const std::string& name : names) {
        cmsAppendNamedColor(list, name.c_str(), pcs, nullptr);
    }
    cmsWriteTag(profile, tag, list);
    cmsFreeNamedColorList(list);
}

bool DamageTag(Bytes& bytes, cmsTagSignature tag) {
    const cmsUInt32Number count = ReadBig32(bytes, 128);
    for (std::size_t entry = 132; entry < 132 + 12 * count && entry + 12 <= bytes.size();
         entry += 12) {
        const cmsUInt32Number offset = ReadBig32(bytes, entry + 4);
        if (ReadBig32(bytes, entry) == static_cast<cmsUInt32Number>(tag) &&
            offset + 4 <= bytes.size()) {
            std::memcpy(&bytes[offset], "zzzz", 4);
            return true;
        }
    }
    return false;
}

Bytes Noise(std::size_t size, unsigned int seed) {
    Bytes bytes(size);
    unsigned int state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}
