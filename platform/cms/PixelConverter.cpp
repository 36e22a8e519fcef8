#include "platform/cms/PixelConverter.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/cms/LinkData.h"
#include "platform/cms/TProc.h"

namespace rdz::cms {

// ---------------------------------------------------------------------------
// TransformSet

bool TransformSet::Settings::operator==(const Settings& other) const {
    return source == other.source && destination == other.destination &&
           renderingIntent == other.renderingIntent &&
           blackPointCompensation == other.blackPointCompensation &&
           resolution == other.resolution && blackGeneration == other.blackGeneration &&
           link == other.link;
}

TransformSet::TransformSet(Settings settings)
    : settings_(std::move(settings)),
      identity_(!settings_.link && settings_.source->SameProfileAs(*settings_.destination) &&
                settings_.source->NrChannels() == settings_.destination->NrChannels()) {}

std::uint32_t TransformSet::Flags() const {
    // LittleCMS's pixel cache stays on: a run of equal pixels (a flat area)
    // is computed once. It is copied for each call, so threads share the
    // transform safely.
    std::uint32_t flags = 0;
    if (settings_.blackPointCompensation)
        flags |= cmsFLAGS_BLACKPOINTCOMPENSATION;
    if (settings_.resolution == 2)
        flags |= cmsFLAGS_HIGHRESPRECALC;
    return flags;
}

int TransformSet::BaseIntent() const {
    return std::clamp(settings_.renderingIntent - 2, 0, 3);
}

void* TransformSet::Direct(std::string* error) {
    if (identity_ || direct_ || settings_.link)
        return direct_.get();
    int intent = BaseIntent();
    // Black generation "keep": a black-only colour stays black only.
    const bool cmykToCmyk = settings_.source->ColorSpace() == cmsSigCmykData &&
                            settings_.destination->ColorSpace() == cmsSigCmykData;
    if (settings_.blackGeneration == 2 && cmykToCmyk && intent != INTENT_ABSOLUTE_COLORIMETRIC) {
        intent += INTENT_PRESERVE_K_ONLY_PERCEPTUAL;
    }
    ProfileHandle source = settings_.source->OpenProfile();
    ProfileHandle destination = settings_.destination->OpenProfile();
    if (source && destination) {
        direct_.reset(cmsCreateTransform(source.get(), settings_.source->PixelFormat(1),
                                         destination.get(), settings_.destination->PixelFormat(1),
                                         static_cast<cmsUInt32Number>(intent), Flags()));
    }
    if (!direct_) {
        *error = "LittleCMS cannot build the transform from '" + settings_.source->Name() +
                 "' to '" + settings_.destination->Name() + "'";
    }
    return direct_.get();
}

const LinkAcceleration* TransformSet::Link(std::string* error) {
    if (!link_ && settings_.link)
        link_ = settings_.link->Accelerate(error);
    return link_.get();
}

void* TransformSet::ToXYZ(std::string* error) {
    if (toXYZ_)
        return toXYZ_.get();
    ProfileHandle source = settings_.source->OpenProfile();
    ProfileHandle xyz(cmsCreateXYZProfile());
    if (source && xyz) {
        toXYZ_.reset(cmsCreateTransform(source.get(), settings_.source->PixelFormat(1), xyz.get(),
                                        TYPE_XYZ_16, static_cast<cmsUInt32Number>(BaseIntent()),
                                        Flags()));
    }
    if (!toXYZ_)
        *error = "LittleCMS cannot convert '" + settings_.source->Name() + "' to XYZ";
    return toXYZ_.get();
}

void* TransformSet::FromLab(std::string* error) {
    if (fromLab_)
        return fromLab_.get();
    ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    if (settings_.link) {
        // The mix is separated on the source and then goes through the link,
        // like every other colour.
        ProfileHandle source = settings_.source->OpenProfile();
        const std::vector<unsigned char>& icc = settings_.link->Icc();
        ProfileHandle link(
            cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
        if (lab && source && link) {
            cmsHPROFILE chain[3] = {lab.get(), source.get(), link.get()};
            fromLab_.reset(cmsCreateMultiprofileTransform(
                chain, 3, TYPE_Lab_16, settings_.destination->PixelFormat(1),
                static_cast<cmsUInt32Number>(BaseIntent()), Flags()));
        }
        if (!fromLab_) {
            *error = "LittleCMS cannot convert colours through the device link into '" +
                     settings_.destination->Name() + "'";
        }
        return fromLab_.get();
    }
    ProfileHandle destination = settings_.destination->OpenProfile();
    if (lab && destination) {
        fromLab_.reset(cmsCreateTransform(lab.get(), TYPE_Lab_16, destination.get(),
                                          settings_.destination->PixelFormat(1),
                                          static_cast<cmsUInt32Number>(BaseIntent()), Flags()));
    }
    if (!fromLab_) {
        *error = "LittleCMS cannot convert colours into '" + settings_.destination->Name() + "'";
    }
    return fromLab_.get();
}

// ---------------------------------------------------------------------------
// PixelConverter

namespace {
unsigned char ScaleByte(double value) {
    return static_cast<unsigned char>(std::clamp(std::floor(value + 0.5), 0.0, 255.0));
}
}  // namespace

PixelConverter::PixelConverter(ConvertPlan plan, std::shared_ptr<TransformSet> transforms)
    : plan_(std::move(plan)), transforms_(std::move(transforms)) {}

std::unique_ptr<PixelConverter> PixelConverter::Create(ConvertPlan plan,
                                                       std::shared_ptr<TransformSet> transforms,
                                                       std::string* error) {
    std::unique_ptr<PixelConverter> converter(
        new PixelConverter(std::move(plan), std::move(transforms)));
    PixelConverter& c = *converter;
    const ConvertPlan& p = c.plan_;
    TransformSet& set = *c.transforms_;
    c.nrSrc_ = set.GetSettings().source->NrChannels();
    c.nrDst_ = set.GetSettings().destination->NrChannels();

    if (set.GetSettings().link) {
        c.link_ = set.Link(error);
        if (c.link_ == nullptr)
            return nullptr;
    } else {
        c.direct_ = set.Direct(error);
        if (!set.Identity() && c.direct_ == nullptr)
            return nullptr;
    }
    bool anyProcess = false;
    c.complete_ = true;
    bool inOrder = p.nrInputs == c.nrSrc_;
    for (int ch = 0; ch < c.nrSrc_; ++ch) {
        anyProcess = anyProcess || p.processInput[ch] >= 0;
        c.complete_ = c.complete_ && p.processInput[ch] >= 0;
        inOrder = inOrder && p.processInput[ch] == ch;
    }
    if (!p.spots.empty()) {
        c.toXYZ_ = set.ToXYZ(error);
        c.fromLab_ = set.FromLab(error);
        if (c.toXYZ_ == nullptr || c.fromLab_ == nullptr)
            return nullptr;
        for (const ConvertPlan::Spot& spot : p.spots) {
            c.spotTables_.push_back(MakeSpotInkTable(spot.lab, spot.opacity));
        }
        // Without process inks the spot inks are laid on the source's paper.
        std::vector<unsigned char> none(static_cast<std::size_t>(c.nrSrc_), 0);
        std::uint16_t xyz[3];
        cmsDoTransform(c.toXYZ_, none.data(), xyz, 1);
        DecodeXYZ16(xyz, c.paper_.data());
    }

    const bool defaultIn = p.inMin == 0 && p.inMax == 255;
    const bool defaultOut = p.outMin == 0 && p.outMax == 255;
    c.remapIn_ = !defaultIn;
    for (int v = 0; v < 256; ++v) {
        c.inMap_[v] = ScaleByte((v - p.inMin) * 255.0 / (p.inMax - p.inMin));
        c.outMap_[v] = ScaleByte(p.outMin + (p.outMax - p.outMin) * v / 255.0);
    }
    c.post_ = !p.explicits.empty() || !p.passes.empty() || p.nrOutputs != c.nrDst_ || !defaultOut;
    c.whole_ = inOrder && anyProcess && p.spots.empty() && !c.post_ && defaultIn;

    if (!c.whole_)
        c.spareScratch_.push_back(c.NewScratch());
    return converter;
}

std::unique_ptr<PixelConverter::Scratch> PixelConverter::NewScratch() const {
    const auto chunk = static_cast<std::size_t>(kChunk);
    const auto wide = static_cast<std::size_t>(std::max(nrSrc_, nrDst_));
    auto s = std::make_unique<Scratch>();
    if (remapIn_)
        s->inBuf.resize(chunk * static_cast<std::size_t>(plan_.nrInputs));
    s->procBuf.resize(chunk * static_cast<std::size_t>(nrSrc_));
    s->iccBuf.resize(chunk * static_cast<std::size_t>(nrDst_));
    s->packIn.resize(chunk * wide);
    s->packOut.resize(chunk * wide);
    s->mixed.resize(chunk);
    s->plain.resize(chunk);
    s->xyz.resize(chunk * 3);
    s->lab.resize(chunk * 3);
    s->colour.resize(chunk * 3);
    s->acc.resize(static_cast<std::size_t>(plan_.nrOutputs));
    return s;
}

std::unique_ptr<PixelConverter::Scratch> PixelConverter::TakeScratch() const {
    {
        std::lock_guard<std::mutex> lock(scratchMutex_);
        if (!spareScratch_.empty()) {
            std::unique_ptr<Scratch> s = std::move(spareScratch_.back());
            spareScratch_.pop_back();
            return s;
        }
    }
    return NewScratch();
}

void PixelConverter::ReturnScratch(std::unique_ptr<Scratch> scratch) const {
    std::lock_guard<std::mutex> lock(scratchMutex_);
    spareScratch_.push_back(std::move(scratch));
}

void PixelConverter::Convert(const unsigned char* in, unsigned char* out, int n) const {
    if (whole_) {
        // Only the source's channels, in order: one transform call for the row.
        Direct(in, out, n);
        return;
    }
    std::unique_ptr<Scratch> scratch = TakeScratch();
    const auto nrIn = static_cast<std::size_t>(plan_.nrInputs);
    const auto nrOut = static_cast<std::size_t>(plan_.nrOutputs);
    for (int done = 0; done < n;) {
        const int count = std::min(kChunk, n - done);
        ConvertChunk(in + static_cast<std::size_t>(done) * nrIn,
                     out + static_cast<std::size_t>(done) * nrOut, count, *scratch);
        done += count;  // never past n, so never past INT_MAX
    }
    ReturnScratch(std::move(scratch));
}

void PixelConverter::Direct(const unsigned char* in, unsigned char* out, int n) const {
    if (n <= 0)
        return;
    if (link_ != nullptr) {
        link_->Convert(in, out, n);
    } else if (direct_ == nullptr) {  // identity: the same profile on both sides
        std::memcpy(out, in, static_cast<std::size_t>(n) * static_cast<std::size_t>(nrSrc_));
    } else {
        cmsDoTransform(direct_, in, out, static_cast<cmsUInt32Number>(n));
    }
}

void PixelConverter::ConvertChunk(const unsigned char* in, unsigned char* out, int n,
                                  Scratch& scratch) const {
    const int nrIn = plan_.nrInputs;
    const unsigned char* src = in;
    if (remapIn_) {
        for (int i = 0; i < n * nrIn; ++i)
            scratch.inBuf[i] = inMap_[in[i]];
        src = scratch.inBuf.data();
    }

    unsigned char* proc = scratch.procBuf.data();
    if (!complete_)
        std::memset(proc, 0, static_cast<std::size_t>(n * nrSrc_));
    for (int ch = 0; ch < nrSrc_; ++ch) {
        const int input = plan_.processInput[ch];
        if (input < 0)
            continue;
        for (int p = 0; p < n; ++p)
            proc[p * nrSrc_ + ch] = src[p * nrIn + input];
    }

    unsigned char* icc = post_ ? scratch.iccBuf.data() : out;
    if (spotTables_.empty()) {
        Direct(proc, icc, n);
    } else {
        int nrMixed = 0;
        int nrPlain = 0;
        for (int p = 0; p < n; ++p) {
            bool spot = false;
            for (std::size_t s = 0; !spot && s < plan_.spots.size(); ++s)
                spot = src[p * nrIn + plan_.spots[s].input] != 0;
            if (spot) {
                scratch.mixed[nrMixed++] = p;
            } else {
                scratch.plain[nrPlain++] = p;
            }
        }
        if (nrPlain == n) {
            Direct(proc, icc, n);
        } else if (nrPlain > 0) {
            // Pixels without spot ink take the direct path, as they would in a
            // row of process inks only.
            for (int k = 0; k < nrPlain; ++k) {
                std::memcpy(&scratch.packIn[k * nrSrc_], &proc[scratch.plain[k] * nrSrc_], nrSrc_);
            }
            Direct(scratch.packIn.data(), scratch.packOut.data(), nrPlain);
            for (int k = 0; k < nrPlain; ++k) {
                std::memcpy(&icc[scratch.plain[k] * nrDst_], &scratch.packOut[k * nrDst_], nrDst_);
            }
        }
        if (nrMixed > 0)
            Mix(src, proc, icc, nrMixed, scratch);
    }

    if (!post_)
        return;
    const int nrOut = plan_.nrOutputs;
    for (int p = 0; p < n; ++p) {
        for (int ch = 0; ch < nrOut; ++ch)
            scratch.acc[ch] = ch < nrDst_ ? icc[p * nrDst_ + ch] : 0.0;
        const unsigned char* pixel = src + p * nrIn;
        for (const ConvertPlan::Explicit& e : plan_.explicits) {
            const int tint = pixel[e.input];
            if (tint == 0)
                continue;
            // Percent times tint first: exact for whole percentages.
            for (int ch = 0; ch < nrOut; ++ch)
                scratch.acc[ch] += e.percent[ch] * tint / 100.0;
        }
        for (const ConvertPlan::Pass& pass : plan_.passes)
            scratch.acc[pass.output] += pixel[pass.input];
        unsigned char* target = out + p * nrOut;
        for (int ch = 0; ch < nrOut; ++ch)
            target[ch] = outMap_[ScaleByte(scratch.acc[ch])];
    }
}

void PixelConverter::Mix(const unsigned char* src, const unsigned char* proc, unsigned char* icc,
                         int n, Scratch& scratch) const {
    const int nrIn = plan_.nrInputs;
    float* colour = scratch.colour.data();
    bool anyProcess = false;
    for (int ch = 0; ch < nrSrc_; ++ch)
        anyProcess = anyProcess || plan_.processInput[ch] >= 0;
    if (anyProcess) {
        for (int k = 0; k < n; ++k) {
            std::memcpy(&scratch.packIn[k * nrSrc_], &proc[scratch.mixed[k] * nrSrc_], nrSrc_);
        }
        cmsDoTransform(toXYZ_, scratch.packIn.data(), scratch.xyz.data(),
                       static_cast<cmsUInt32Number>(n));
        for (int k = 0; k < n; ++k)
            DecodeXYZ16(&scratch.xyz[k * 3], &colour[k * 3]);
    } else {
        for (int k = 0; k < n; ++k)
            std::memcpy(&colour[k * 3], paper_.data(), sizeof paper_);
    }
    for (int k = 0; k < n; ++k) {
        const unsigned char* pixel = src + scratch.mixed[k] * nrIn;
        float* c = &colour[k * 3];
        for (std::size_t s = 0; s < spotTables_.size(); ++s) {
            const int tint = pixel[plan_.spots[s].input];
            if (tint == 0)
                continue;  // scale 1 and offset 0: no ink, no change (documents with
                           // thousands of spot inks use a few of them per paint)
            const auto& scale = spotTables_[s].scale[tint];
            const auto& offset = spotTables_[s].offset[tint];
            c[0] = c[0] * scale[0] + offset[0];
            c[1] = c[1] * scale[1] + offset[1];
            c[2] = c[2] * scale[2] + offset[2];
        }
        labEncoder_.Encode(c, &scratch.lab[k * 3]);
    }
    cmsDoTransform(fromLab_, scratch.lab.data(), scratch.packOut.data(),
                   static_cast<cmsUInt32Number>(n));
    for (int k = 0; k < n; ++k) {
        std::memcpy(&icc[scratch.mixed[k] * nrDst_], &scratch.packOut[k * nrDst_], nrDst_);
    }
}

}  // namespace rdz::cms
