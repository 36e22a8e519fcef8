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
// A step that brings a colour less than this closer ends its solving.
constexpr float kSettled = 0.002f;
// Step of the numerical derivative: half a percent of ink.
constexpr float kDelta = 0.005f;

/// The CIE94 colour difference (graphic arts) as a vector: (dL, dC / SC,
/// dH / SH) at the target's chroma, whose length is the difference.
void Cie94Vector(const float* lab, const float* target, double e[3]) {
    const double a = target[1];
    const double b = target[2];
    const double chroma = std::sqrt(a * a + b * b);
    const double ua = chroma > 1e-3 ? a / chroma : 1.0;
    const double ub = chroma > 1e-3 ? b / chroma : 0.0;
    const double dl = lab[0] - target[0];
    const double da = lab[1] - target[1];
    const double db = lab[2] - target[2];
    e[0] = dl;
    e[1] = (ua * da + ub * db) / (1.0 + 0.045 * chroma);
    e[2] = (-ub * da + ua * db) / (1.0 + 0.015 * chroma);
}

double Seventh(double x) {
    const double x2 = x * x;
    return x2 * x2 * x2 * x;
}

double Radians(double degrees) {
    return degrees * 3.14159265358979323846 / 180.0;
}

/// CIEDE2000 as a vector whose length is the difference: its lightness,
/// chroma and hue terms, the chroma-hue cross term of blue folded in.
void Ciede2000Vector(const float* lab, const float* target, double e[3]) {
    const double l1 = target[0], a1 = target[1], b1 = target[2];
    const double l2 = lab[0], a2 = lab[1], b2 = lab[2];
    const double pow25 = 6103515625.0;  // 25^7
    const double meanC = 0.5 * (std::hypot(a1, b1) + std::hypot(a2, b2));
    const double meanC7 = Seventh(meanC);
    const double g = 0.5 * (1.0 - std::sqrt(meanC7 / (meanC7 + pow25)));
    const double a1p = (1.0 + g) * a1, a2p = (1.0 + g) * a2;
    const double c1 = std::hypot(a1p, b1), c2 = std::hypot(a2p, b2);
    auto hue = [](double b, double a) {
        if (a == 0.0 && b == 0.0)
            return 0.0;
        const double h = std::atan2(b, a) * 180.0 / 3.14159265358979323846;
        return h < 0.0 ? h + 360.0 : h;
    };
    const double h1 = hue(b1, a1p), h2 = hue(b2, a2p);
    double dh = 0.0;
    if (c1 * c2 != 0.0) {
        dh = h2 - h1;
        if (dh > 180.0)
            dh -= 360.0;
        else if (dh < -180.0)
            dh += 360.0;
    }
    const double dL = l2 - l1;
    const double dC = c2 - c1;
    const double dH = 2.0 * std::sqrt(c1 * c2) * std::sin(Radians(dh / 2.0));
    const double meanL = 0.5 * (l1 + l2);
    const double meanCp = 0.5 * (c1 + c2);
    double meanH = h1 + h2;
    if (c1 * c2 != 0.0) {
        if (std::fabs(h1 - h2) <= 180.0)
            meanH = 0.5 * (h1 + h2);
        else if (h1 + h2 < 360.0)
            meanH = 0.5 * (h1 + h2 + 360.0);
        else
            meanH = 0.5 * (h1 + h2 - 360.0);
    }
    const double t =
        1.0 - 0.17 * std::cos(Radians(meanH - 30.0)) + 0.24 * std::cos(Radians(2.0 * meanH)) +
        0.32 * std::cos(Radians(3.0 * meanH + 6.0)) - 0.20 * std::cos(Radians(4.0 * meanH - 63.0));
    const double hueFrom275 = (meanH - 275.0) / 25.0;
    const double dTheta = 30.0 * std::exp(-hueFrom275 * hueFrom275);
    const double meanCp7 = Seventh(meanCp);
    const double rc = 2.0 * std::sqrt(meanCp7 / (meanCp7 + pow25));
    const double l50 = (meanL - 50.0) * (meanL - 50.0);
    const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
    const double sc = 1.0 + 0.045 * meanCp;
    const double sh = 1.0 + 0.015 * meanCp * t;
    const double rt = -std::sin(Radians(2.0 * dTheta)) * rc;
    const double x = dC / sc;
    const double y = dH / sh;
    // x^2 + y^2 + rt x y = (x + rt y / 2)^2 + (1 - rt^2 / 4) y^2, |rt| <= 2.
    e[0] = dL / sl;
    e[1] = x + 0.5 * rt * y;
    e[2] = std::sqrt(std::max(0.0, 1.0 - 0.25 * rt * rt)) * y;
}

void ErrorVector(ColourDifference difference, const float* lab, const float* target, double e[3]) {
    if (difference == ColourDifference::Ciede2000) {
        Ciede2000Vector(lab, target, e);
    } else {
        Cie94Vector(lab, target, e);
    }
}

float Length(const double e[3]) {
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
               const float* targets, float* values, float* residual, const SolveOptions& options) {
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
    std::vector<std::size_t> active;
    double e[3];
    for (std::size_t t = 0; t < tasks.size(); ++t) {
        const std::size_t p = tasks[t].pixel;
        ErrorVector(options.difference, &current[t * 3], targets + p * 3, e);
        residual[p] = Length(e);
        if (residual[p] > kExact && tasks[t].freeChannels != 0)
            active.push_back(t);
    }

    std::vector<int> freeList;
    std::vector<float> trial;
    for (int iteration = 0; iteration < options.maxIterations && !active.empty(); ++iteration) {
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
            // Both sides of the least-squares problem in units of the colour
            // difference: its vector at the current colour and how each free
            // channel moves it.
            double error[3];
            ErrorVector(options.difference, lab, targets + p * 3, error);
            double jacobian[3][4];
            for (int j = 0; j < k; ++j) {
                const float h = v[freeList[j]] > 0.5f ? -kDelta : kDelta;
                double moved[3];
                ErrorVector(options.difference, &derivatives[(sample + j) * 3], targets + p * 3,
                            moved);
                for (int r = 0; r < 3; ++r)
                    jacobian[r][j] = (moved[r] - error[r]) / h;
            }
            sample += static_cast<std::size_t>(k);
            double normal[4][4];
            double rhs[4];
            double trace = 0.0;
            for (int a = 0; a < k; ++a) {
                rhs[a] = 0.0;
                for (int r = 0; r < 3; ++r)
                    rhs[a] -= jacobian[r][a] * error[r];
                for (int b = 0; b < k; ++b) {
                    normal[a][b] = 0.0;
                    for (int r = 0; r < 3; ++r)
                        normal[a][b] += jacobian[r][a] * jacobian[r][b];
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
            ErrorVector(options.difference, &labs[i * 3], targets + p * 3, e);
            const float distance = Length(e);
            bool slow = false;
            bool settled = false;
            if (distance < residual[p]) {
                slow = distance > 0.75f * residual[p];
                // Steps this small no longer matter: as close as it gets.
                settled = residual[p] - distance < kSettled;
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
            if (residual[p] <= kExact || damping[t] >= 1e4f || settled)
                continue;
            if (options.giveUpAbove > 0.0f && slow && residual[p] > options.giveUpAbove)
                continue;
            still.push_back(t);
        }
        active.swap(still);
    }
}

}  // namespace rdz::cms
