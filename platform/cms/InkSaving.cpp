#include "platform/cms/InkSaving.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/cms/InkSolver.h"
#include "platform/cms/TProc.h"
#include "platform/cms/TProcLinkGCRPar.h"

namespace rdz::cms {

namespace {

constexpr int kIterations = 12;
// A re-separated colour further than this (CIE94) from the original is not
// accepted: its added black is reduced.
constexpr float kTolerance = 0.5f;
constexpr int kBackOffRounds = 4;
constexpr int kInkLimitRounds = 4;

double Shape(int purpose, double t) {
    switch (purpose) {
        case TCMS::BlackGenModeLight:
            return 0.6 * t * t;
        case TCMS::BlackGenModeMedium:
            return 0.8 * t * std::sqrt(t);
        case TCMS::BlackGenModeInkSaving:
            return t;
        case TCMS::BlackGenModeHeavy:
            return std::pow(t, 0.8);
        default:
            return 0.0;
    }
}

float Sum(const float* v) {
    return v[0] + v[1] + v[2] + v[3];
}

/// Starts cyan, magenta and yellow of `out` from the original less the black
/// added, within the channel limits; the solver takes it from there.
void StartFrom(const float* original, float black, const std::array<float, 4>& upper, float* out) {
    const float added = std::max(0.0f, black - original[3]);
    for (int c = 0; c < 3; ++c)
        out[c] = std::clamp(original[c] - added, 0.0f, upper[static_cast<std::size_t>(c)]);
    out[3] = black;
}

}  // namespace

double BlackFor(const GcrSettings& s, const float* cmyk) {
    const double c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (s.purpose == TCMS::BlackGenModeNone || s.range <= 0.0 || s.startK >= 1.0 ||
        s.maximumK <= 0.0) {
        return k;
    }
    const double grey = std::min({c, m, y});
    const double spread = std::max({c, m, y}) - grey;
    const double level = grey + k - grey * k;
    const double t = std::clamp((level - s.startK) / (1.0 - s.startK), 0.0, 1.0);
    const double curve = s.maximumK * Shape(s.purpose, t);
    const double weight = std::clamp(1.0 - spread / s.range, 0.0, 1.0);
    return k + weight * std::max(0.0, curve - k);
}

bool Reseparate(const TProc& process, const GcrSettings& s, std::vector<float>* cmyk,
                std::string* error) {
    if (process.ColorSpace() != cmsSigCmykData) {
        *error = "ink saving needs a CMYK process; '" + process.Name() + "' is not one";
        return false;
    }
    std::unique_ptr<ColourModel> model = ColourModel::Create(process, error);
    if (!model)
        return false;
    const std::size_t n = cmyk->size() / 4;
    const std::vector<float> original(*cmyk);
    std::vector<float> targets(n * 3);
    model->ToLab(original.data(), targets.data(), n);
    std::vector<float> residual(n, 0.0f);
    std::array<float, 4> upper{};
    for (std::size_t c = 0; c < 4; ++c)
        upper[c] = static_cast<float>(s.channelLimit[c]);
    float* v = cmyk->data();

    std::vector<InkTask> tasks;
    for (std::size_t i = 0; i < n; ++i) {
        const float* in = &original[i * 4];
        float* out = &v[i * 4];
        if (in[0] <= 0.0f && in[1] <= 0.0f && in[2] <= 0.0f) {
            // Paper stays paper; black alone stays black alone when asked.
            if (s.keepBlackOnly || in[3] <= 0.0f) {
                out[3] = std::min(in[3], upper[3]);
                continue;
            }
        }
        const float black = std::min(static_cast<float>(BlackFor(s, in)), std::max(upper[3], 0.0f));
        bool within = true;
        for (std::size_t c = 0; c < 3; ++c)
            within = within && in[c] <= upper[c];
        if (within && std::fabs(black - in[3]) < 1e-6f)
            continue;  // nothing to replace: the original stands
        StartFrom(in, black, upper, out);
        tasks.push_back({i, 0x7u});
    }
    SolveInks(*model, tasks, upper, targets.data(), v, residual.data(), kIterations);

    // Too much black for the colour: search, by halving, the most black
    // between the original's (which always matches) and the curve's that
    // still matches, keeping the best solution that did.
    std::vector<InkTask> retry;
    for (const InkTask& task : tasks) {
        if (residual[task.pixel] > kTolerance)
            retry.push_back(task);
    }
    std::vector<float> low(retry.size()), high(retry.size());
    std::vector<float> best(retry.size() * 4);
    std::vector<char> found(retry.size(), 0);
    for (std::size_t r = 0; r < retry.size(); ++r) {
        const float* in = &original[retry[r].pixel * 4];
        low[r] = std::min(in[3], upper[3]);
        high[r] = v[retry[r].pixel * 4 + 3];
    }
    for (int round = 0; round <= kBackOffRounds && !retry.empty(); ++round) {
        for (std::size_t r = 0; r < retry.size(); ++r) {
            const std::size_t i = retry[r].pixel;
            const float black = round < kBackOffRounds ? 0.5f * (low[r] + high[r]) : low[r];
            if (round == kBackOffRounds && found[r] != 0) {
                std::copy_n(&best[r * 4], 4, &v[i * 4]);  // the most black that matched
                continue;
            }
            StartFrom(&original[i * 4], black, upper, &v[i * 4]);
        }
        SolveInks(*model, retry, upper, targets.data(), v, residual.data(), kIterations);
        for (std::size_t r = 0; r < retry.size() && round < kBackOffRounds; ++r) {
            const std::size_t i = retry[r].pixel;
            if (residual[i] <= kTolerance) {
                low[r] = v[i * 4 + 3];
                std::copy_n(&v[i * 4], 4, &best[r * 4]);
                found[r] = 1;
            } else {
                high[r] = v[i * 4 + 3];
            }
        }
    }

    const auto limit = static_cast<float>(s.totalInk);
    if (limit >= 4.0f)
        return true;
    for (int round = 0; round < kInkLimitRounds; ++round) {
        std::vector<InkTask> over;
        for (std::size_t i = 0; i < n; ++i) {
            float* out = &v[i * 4];
            const float sum = Sum(out);
            if (sum <= limit + 1e-5f || out[3] >= upper[3])
                continue;
            // Each step of black takes roughly three of grey out of CMY.
            const float black = std::min(upper[3], out[3] + 0.5f * (sum - limit) + 0.01f);
            const float added = black - out[3];
            for (int c = 0; c < 3; ++c)
                out[c] = std::max(0.0f, out[c] - added);
            out[3] = black;
            over.push_back({i, 0x7u});
        }
        if (over.empty())
            break;
        SolveInks(*model, over, upper, targets.data(), v, residual.data(), kIterations);
    }
    // What still exceeds the limit lies outside the limited gamut.
    for (std::size_t i = 0; i < n; ++i) {
        float* out = &v[i * 4];
        if (Sum(out) <= limit)
            continue;
        const float room = limit - out[3];
        const float chromatic = out[0] + out[1] + out[2];
        const float scale = room > 0.0f && chromatic > 0.0f ? room / chromatic : 0.0f;
        for (int c = 0; c < 3; ++c)
            out[c] *= scale;
        out[3] = std::min(out[3], limit);
    }
    return true;
}

}  // namespace rdz::cms
