#include "platform/cms/InkSolver.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/cms/TProc.h"

namespace rdz::cms {

namespace {

// A solution this close (CIE94) counts as exact; far below what 16-bit
// tables can store anyway.
constexpr float kExact = 0.02f;
// Step of the numerical derivative: half a percent of ink.
constexpr float kDelta = 0.005f;

/// The CIE94 weighting (graphic arts) of L*a*b* differences at a target:
/// rows turn (dL, da, db) into (dL, dC / SC, dH / SH), so that a Euclidean
/// norm of the result is the CIE94 colour difference, which follows how
/// differences are seen far better than plain L*a*b* distance.
struct Weights {
    float m[3][3];
};

Weights WeightsAt(const float* target) {
    const float a = target[1];
    const float b = target[2];
    const float chroma = std::sqrt(a * a + b * b);
    const float ua = chroma > 1e-3f ? a / chroma : 1.0f;
    const float ub = chroma > 1e-3f ? b / chroma : 0.0f;
    const float sc = 1.0f + 0.045f * chroma;
    const float sh = 1.0f + 0.015f * chroma;
    return Weights{{{1.0f, 0.0f, 0.0f}, {0.0f, ua / sc, ub / sc}, {0.0f, -ub / sh, ua / sh}}};
}

void Apply(const Weights& w, const double in[3], double out[3]) {
    for (int r = 0; r < 3; ++r)
        out[r] = w.m[r][0] * in[0] + w.m[r][1] * in[1] + w.m[r][2] * in[2];
}

float Distance(const Weights& w, const float* lab, const float* target) {
    const double d[3] = {lab[0] - target[0], lab[1] - target[1], lab[2] - target[2]};
    double e[3];
    Apply(w, d, e);
    return static_cast<float>(std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]));
}

/// Solves the k x k system `m` x = `rhs` in place (partial pivoting); false
/// when it is singular.
bool SolveSmall(double m[4][4], double rhs[4], int k) {
    for (int col = 0; col < k; ++col) {
        int pivot = col;
        for (int row = col + 1; row < k; ++row) {
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col]))
                pivot = row;
        }
        if (std::fabs(m[pivot][col]) < 1e-12)
            return false;
        if (pivot != col) {
            for (int c = 0; c < k; ++c)
                std::swap(m[pivot][c], m[col][c]);
            std::swap(rhs[pivot], rhs[col]);
        }
        for (int row = 0; row < k; ++row) {
            if (row == col)
                continue;
            const double f = m[row][col] / m[col][col];
            for (int c = col; c < k; ++c)
                m[row][c] -= f * m[col][c];
            rhs[row] -= f * rhs[col];
        }
    }
    for (int c = 0; c < k; ++c)
        rhs[c] /= m[c][c];
    return true;
}

}  // namespace

ColourModel::ColourModel(TransformHandle transform, int channels)
    : transform_(std::move(transform)), channels_(channels) {}

std::unique_ptr<ColourModel> ColourModel::Create(const TProc& process, std::string* error,
                                                 bool absolute) {
    const auto space = static_cast<cmsColorSpaceSignature>(process.ColorSpace());
    std::uint32_t format = 0;
    if (space == cmsSigCmykData) {
        format = TYPE_CMYK_FLT;
    } else if (space == cmsSigCmyData) {
        format = FLOAT_SH(1) | COLORSPACE_SH(PT_CMY) | CHANNELS_SH(3) | BYTES_SH(4);
    } else {
        *error = "process '" + process.Name() + "' is not a CMY or CMYK process";
        return nullptr;
    }
    ProfileHandle profile = process.OpenProfile();
    ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    TransformHandle transform;
    if (profile && lab) {
        transform.reset(cmsCreateTransform(
            profile.get(), format, lab.get(), TYPE_Lab_FLT,
            absolute ? INTENT_ABSOLUTE_COLORIMETRIC : INTENT_RELATIVE_COLORIMETRIC,
            cmsFLAGS_NOCACHE));
    }
    if (!transform) {
        *error = "LittleCMS cannot convert the inks of '" + process.Name() + "' to colours";
        return nullptr;
    }
    return std::unique_ptr<ColourModel>(
        new ColourModel(std::move(transform), cmsChannelsOfColorSpace(space)));
}

void ColourModel::ToLab(const float* values, float* lab, std::size_t n) {
    // LittleCMS reads floating-point ink as percent.
    const std::size_t count = n * static_cast<std::size_t>(channels_);
    scaled_.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        scaled_[i] = values[i] * 100.0f;
    if (n > 0)
        cmsDoTransform(transform_.get(), scaled_.data(), lab, static_cast<cmsUInt32Number>(n));
}

void ProjectInks(const InkBounds& bounds, unsigned freeChannels, int channels, float* values) {
    float fixed = 0.0f;
    float sum = 0.0f;
    float free[4];
    int count = 0;
    for (int c = 0; c < channels; ++c) {
        if ((freeChannels & (1u << c)) == 0) {
            fixed += values[c];
            continue;
        }
        values[c] = std::clamp(values[c], 0.0f, bounds.upper[static_cast<std::size_t>(c)]);
        sum += values[c];
        free[count++] = values[c];
    }
    const float room = bounds.total - fixed;
    if (sum <= room)
        return;
    // The common amount `lower` such that the free channels, each lowered by
    // it and none below 0, add up to the room left.
    for (int i = 1; i < count; ++i) {  // at most four: insertion sort
        for (int j = i; j > 0 && free[j - 1] > free[j]; --j)
            std::swap(free[j - 1], free[j]);
    }
    float lower = 0.0f;
    float above = sum;  // sum of free[i..]
    for (int i = 0; i < count; ++i) {
        lower = (above - std::max(room, 0.0f)) / static_cast<float>(count - i);
        if (lower <= free[i])
            break;
        above -= free[i];
    }
    for (int c = 0; c < channels; ++c) {
        if ((freeChannels & (1u << c)) != 0)
            values[c] = std::max(0.0f, values[c] - lower);
    }
}

void SolveInks(ColourModel& model, const std::vector<InkTask>& tasks, const InkBounds& bounds,
               const float* targets, float* values, float* residual, int maxIterations,
               float giveUpAbove) {
    const int ch = model.Channels();
    const auto stride = static_cast<std::size_t>(ch);
    std::vector<float> batch, labs;
    auto evaluate = [&](std::size_t count) {
        labs.resize(count * 3);
        model.ToLab(batch.data(), labs.data(), count);
    };

    // Where every task starts.
    std::vector<float> current(tasks.size() * 3);
    batch.resize(tasks.size() * stride);
    for (std::size_t t = 0; t < tasks.size(); ++t) {
        float* v = values + tasks[t].pixel * stride;
        ProjectInks(bounds, tasks[t].freeChannels, ch, v);
        std::copy_n(v, stride, batch.data() + t * stride);
    }
    evaluate(tasks.size());
    std::copy(labs.begin(), labs.end(), current.begin());
    std::vector<float> damping(tasks.size(), 1e-2f);
    std::vector<Weights> weights(tasks.size());
    std::vector<std::size_t> active;
    for (std::size_t t = 0; t < tasks.size(); ++t) {
        const std::size_t p = tasks[t].pixel;
        weights[t] = WeightsAt(targets + p * 3);
        residual[p] = Distance(weights[t], &current[t * 3], targets + p * 3);
        if (residual[p] > kExact && tasks[t].freeChannels != 0)
            active.push_back(t);
    }

    std::vector<int> freeList;
    std::vector<float> trial;
    for (int iteration = 0; iteration < maxIterations && !active.empty(); ++iteration) {
        // One derivative sample per free channel of each active task.
        batch.clear();
        for (std::size_t t : active) {
            const float* v = values + tasks[t].pixel * stride;
            for (int c = 0; c < ch; ++c) {
                if ((tasks[t].freeChannels & (1u << c)) == 0)
                    continue;
                const std::size_t at = batch.size();
                batch.insert(batch.end(), v, v + stride);
                batch[at + c] += v[c] > 0.5f ? -kDelta : kDelta;
            }
        }
        evaluate(batch.size() / stride);
        const std::vector<float> derivatives = labs;

        batch.clear();
        std::size_t sample = 0;
        for (std::size_t t : active) {
            const std::size_t p = tasks[t].pixel;
            const float* v = values + p * stride;
            const float* lab = &current[t * 3];
            freeList.clear();
            for (int c = 0; c < ch; ++c) {
                if ((tasks[t].freeChannels & (1u << c)) != 0)
                    freeList.push_back(c);
            }
            const int k = static_cast<int>(freeList.size());
            // Both sides of the least-squares problem in weighted units.
            double jacobian[3][4];
            for (int j = 0; j < k; ++j) {
                const float h = v[freeList[j]] > 0.5f ? -kDelta : kDelta;
                double column[3], weighted[3];
                for (int e = 0; e < 3; ++e)
                    column[e] = (derivatives[(sample + j) * 3 + e] - lab[e]) / h;
                Apply(weights[t], column, weighted);
                for (int e = 0; e < 3; ++e)
                    jacobian[e][j] = weighted[e];
            }
            sample += static_cast<std::size_t>(k);
            const double difference[3] = {targets[p * 3] - lab[0], targets[p * 3 + 1] - lab[1],
                                          targets[p * 3 + 2] - lab[2]};
            double error[3];
            Apply(weights[t], difference, error);
            double normal[4][4];
            double rhs[4];
            double trace = 0.0;
            for (int a = 0; a < k; ++a) {
                rhs[a] = 0.0;
                for (int e = 0; e < 3; ++e)
                    rhs[a] += jacobian[e][a] * error[e];
                for (int b = 0; b < k; ++b) {
                    normal[a][b] = 0.0;
                    for (int e = 0; e < 3; ++e)
                        normal[a][b] += jacobian[e][a] * jacobian[e][b];
                }
                trace += normal[a][a];
            }
            for (int a = 0; a < k; ++a)
                normal[a][a] += damping[t] * (trace / k + 1e-6);
            const std::size_t at = batch.size();
            batch.insert(batch.end(), v, v + stride);
            if (SolveSmall(normal, rhs, k)) {
                for (int j = 0; j < k; ++j) {
                    const int c = freeList[j];
                    batch[at + c] = static_cast<float>(static_cast<double>(v[c]) + rhs[j]);
                }
                ProjectInks(bounds, tasks[t].freeChannels, ch, &batch[at]);
            }
        }
        trial = batch;
        evaluate(active.size());

        std::vector<std::size_t> still;
        for (std::size_t i = 0; i < active.size(); ++i) {
            const std::size_t t = active[i];
            const std::size_t p = tasks[t].pixel;
            const float distance = Distance(weights[t], &labs[i * 3], targets + p * 3);
            bool slow = false;
            if (distance < residual[p]) {
                slow = distance > 0.75f * residual[p];
                residual[p] = distance;
                std::copy_n(&trial[i * stride], stride, values + p * stride);
                std::copy_n(&labs[i * 3], 3, &current[t * 3]);
                damping[t] = std::max(1e-4f, damping[t] * 0.25f);
            } else {
                damping[t] *= 8.0f;
                slow = damping[t] > 10.0f;
            }
            // A step that no damping can make better means a local minimum:
            // the colour is as close as these channels can bring it.
            if (residual[p] <= kExact || damping[t] >= 1e4f)
                continue;
            if (giveUpAbove > 0.0f && slow && residual[p] > giveUpAbove)
                continue;
            still.push_back(t);
        }
        active.swap(still);
    }
}

}  // namespace rdz::cms
