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
// A separation this close (CIE94) to the original colour matches it.
constexpr float kMatch = 0.1f;
// Halvings of the interval between a black that matches and one that does
// not: the black found is within 1/512 of that interval of the limit.
constexpr int kSearchRounds = 9;
// Room kept below the total ink limit at the table's nodes: a colour between
// nodes is a weighted mean of theirs, and rounding its four channels to
// 8 bits adds at most 2/255 to its total.
constexpr float kLimitMargin = 2.2f / 255.0f;

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

bool WithinBounds(const float* v, const InkBounds& bounds) {
    for (std::size_t c = 0; c < 4; ++c) {
        if (v[c] > bounds.upper[c])
            return false;
    }
    return Sum(v) <= bounds.total;
}

/// Cyan, magenta and yellow of `from` less the grey that `black` adds (or
/// plus the grey it takes away), black set to `black`: where the solver
/// starts.
void StartFrom(const float* from, float black, float* out) {
    const float added = black - from[3];
    for (int c = 0; c < 3; ++c)
        out[c] = std::clamp(from[c] - added, 0.0f, 1.0f);
    out[3] = black;
}

/// Darkness of a colour between the process's paper (0) and its darkest
/// colour (1), from L*.
struct DarknessScale {
    float paper = 100.0f;
    float black = 0.0f;
    double Of(const float* lab) const {
        const double span = std::max(1.0f, paper - black);
        return std::clamp((paper - lab[0]) / span, 0.0, 1.0);
    }
};

}  // namespace

double RangeWeight(double range, double spread) {
    return std::clamp((1.2 * range - spread) / 0.2, 0.0, 1.0);
}

double BlackFor(const GcrSettings& s, const float* cmyk, double darkness) {
    const double c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (s.purpose == TCMS::BlackGenModeNone || s.startK >= 1.0 || s.maximumK <= 0.0)
        return k;
    const double t = std::clamp((darkness - s.startK) / (1.0 - s.startK), 0.0, 1.0);
    const double curve = s.maximumK * Shape(s.purpose, t);
    const double spread = std::max({c, m, y}) - std::min({c, m, y});
    return k + RangeWeight(s.range, spread) * std::max(0.0, curve - k);
}

namespace {

/// One re-separation of many colours: every step works on all colours that
/// need it at once, so that each solver step is one LittleCMS call.
class Reseparation {
  public:
    Reseparation(ColourModel& model, const GcrSettings& settings, std::vector<float>* cmyk)
        : model_(model),
          s_(settings),
          n_(cmyk->size() / 4),
          original_(*cmyk),
          targets_(n_ * 3),
          residual_(n_, 0.0f),
          wanted_(n_, 0.0f),
          v_(cmyk->data()) {
        model_.ToLab(original_.data(), targets_.data(), n_);
        const float ends[8] = {0, 0, 0, 0, 1, 1, 1, 1};
        float lab[6];
        model_.ToLab(ends, lab, 2);
        darkness_.paper = lab[0];
        darkness_.black = lab[3];
        for (std::size_t c = 0; c < 4; ++c)
            bounds_.upper[c] = static_cast<float>(s_.channelLimit[c]);
        if (s_.totalInk < 4.0)
            bounds_.total = static_cast<float>(s_.totalInk) - kLimitMargin;
    }

    void Run() {
        std::vector<Search> searches = Anchor(FirstTry());
        SolveEdges(&searches);
        Halve(&searches);
        KeepLimit();
    }

  private:
    /// A colour whose wanted black does not match: `best` matches, the black
    /// `miss` does not; the black sought lies between.
    struct Search {
        InkTask task;
        std::array<float, 4> best;
        float miss;
    };

    void Solve(const std::vector<InkTask>& tasks, bool onlyMatches) {
        SolveOptions options;
        options.maxIterations = kIterations;
        options.giveUpAbove = onlyMatches ? kMatch : 0.0f;
        SolveInks(model_, tasks, bounds_, targets_.data(), v_, residual_.data(), options);
    }
    bool Matches(std::size_t pixel) const { return residual_[pixel] <= kMatch; }

    /// The black the curve asks for, cyan, magenta and yellow solved to keep
    /// the colour within the limits. Returns the colours that did not match.
    std::vector<InkTask> FirstTry() {
        std::vector<InkTask> tasks;
        for (std::size_t i = 0; i < n_; ++i) {
            const float* in = &original_[i * 4];
            float* out = &v_[i * 4];
            if (in[0] <= 0.0f && in[1] <= 0.0f && in[2] <= 0.0f) {
                // Paper stays paper; black alone stays black alone when asked.
                if (s_.keepBlackOnly || in[3] <= 0.0f) {
                    out[3] = std::min(in[3], bounds_.upper[3]);
                    continue;
                }
            }
            const double black = BlackFor(s_, in, darkness_.Of(&targets_[i * 3]));
            wanted_[i] = std::min(static_cast<float>(black), bounds_.upper[3]);
            if (WithinBounds(in, bounds_) && std::fabs(wanted_[i] - in[3]) < 1e-6f)
                continue;  // nothing to replace: the original stands
            StartFrom(in, wanted_[i], out);
            tasks.push_back({i, 0x7u});
        }
        Solve(tasks, true);
        std::vector<InkTask> failed;
        for (const InkTask& task : tasks) {
            if (!Matches(task.pixel))
                failed.push_back(task);
        }
        return failed;
    }

    /// A separation that matches, for every colour whose wanted black does
    /// not: the original when it is within the limits, else the closest
    /// colour found with all four inks free. A colour that cannot be matched
    /// within the limits keeps that closest colour and is not searched.
    std::vector<Search> Anchor(const std::vector<InkTask>& failed) {
        std::vector<Search> searches;
        std::vector<InkTask> free;
        for (const InkTask& task : failed) {
            const float* in = &original_[task.pixel * 4];
            float* out = &v_[task.pixel * 4];
            if (WithinBounds(in, bounds_)) {
                std::copy_n(in, 4, out);
                searches.push_back({task, {{in[0], in[1], in[2], in[3]}}, wanted_[task.pixel]});
                continue;
            }
            // Over the limit: black takes the grey out of the excess (each
            // step of black replaces about three of cyan, magenta and yellow).
            const float excess = std::max(0.0f, Sum(in) - bounds_.total);
            StartFrom(in, std::min(bounds_.upper[3], in[3] + 0.5f * excess), out);
            free.push_back({task.pixel, 0xFu});
        }
        Solve(free, false);
        for (const InkTask& task : free) {
            if (!Matches(task.pixel))
                continue;
            const float* out = &v_[task.pixel * 4];
            searches.push_back(
                {{task.pixel, 0x7u}, {{out[0], out[1], out[2], out[3]}}, wanted_[task.pixel]});
        }
        return searches;
    }

    /// The most black a colour allows is where one of cyan, magenta and
    /// yellow has been replaced entirely: solved directly, with that channel
    /// at 0 and black free, trying the lowest channel of the matching
    /// separation first. Settled searches are removed from `searches`.
    void SolveEdges(std::vector<Search>* searches) {
        std::vector<std::array<int, 3>> order(searches->size());
        for (std::size_t r = 0; r < searches->size(); ++r) {
            const std::array<float, 4>& a = (*searches)[r].best;
            order[r] = {{0, 1, 2}};
            std::sort(order[r].begin(), order[r].end(), [&a](int x, int y) {
                return a[static_cast<std::size_t>(x)] < a[static_cast<std::size_t>(y)];
            });
        }
        std::vector<char> settled(searches->size(), 0);
        for (std::size_t attempt = 0; attempt < 3; ++attempt) {
            std::vector<InkTask> edges;
            std::vector<std::size_t> rows;
            for (std::size_t r = 0; r < searches->size(); ++r) {
                if (settled[r] != 0)
                    continue;
                const Search& search = (*searches)[r];
                const int zero = order[r][attempt];
                const float grey = search.best[static_cast<std::size_t>(zero)];
                float* out = &v_[search.task.pixel * 4];
                for (std::size_t c = 0; c < 3; ++c)
                    out[c] = std::max(0.0f, search.best[c] - grey);
                out[3] = std::min(search.best[3] + grey, bounds_.upper[3]);
                edges.push_back({search.task.pixel, 0xFu & ~(1u << zero)});
                rows.push_back(r);
            }
            Solve(edges, true);
            for (std::size_t e = 0; e < edges.size(); ++e) {
                Search& search = (*searches)[rows[e]];
                const float* out = &v_[edges[e].pixel * 4];
                if (Matches(edges[e].pixel) && out[3] >= search.best[3] - 1e-4f &&
                    out[3] <= search.miss + 1e-4f) {
                    settled[rows[e]] = 1;
                }
            }
        }
        std::vector<Search> rest;
        for (std::size_t r = 0; r < searches->size(); ++r) {
            if (settled[r] == 0)
                rest.push_back((*searches)[r]);
        }
        searches->swap(rest);
    }

    /// Halves the interval between the matching black and the other until
    /// the black found is within 1/512 of it of the limit; the last matching
    /// separation stays.
    void Halve(std::vector<Search>* searches) {
        std::vector<InkTask> tasks;
        for (const Search& search : *searches)
            tasks.push_back(search.task);
        for (int round = 0; round < kSearchRounds && !tasks.empty(); ++round) {
            for (Search& search : *searches) {
                const float black = 0.5f * (search.best[3] + search.miss);
                StartFrom(search.best.data(), black, &v_[search.task.pixel * 4]);
            }
            Solve(tasks, true);
            for (Search& search : *searches) {
                const float* out = &v_[search.task.pixel * 4];
                if (Matches(search.task.pixel)) {
                    std::copy_n(out, 4, search.best.begin());
                } else {
                    search.miss = out[3];
                }
            }
        }
        for (const Search& search : *searches)
            std::copy_n(search.best.begin(), 4, &v_[search.task.pixel * 4]);
    }

    /// Whatever is still over the total ink limit (black alone, with a limit
    /// below 100%) has its cyan, magenta and yellow, then its black, cut.
    void KeepLimit() {
        if (s_.totalInk >= 4.0)
            return;
        const auto limit = static_cast<float>(s_.totalInk);
        for (std::size_t i = 0; i < n_; ++i) {
            float* out = &v_[i * 4];
            if (Sum(out) <= limit)
                continue;
            const float room = std::max(0.0f, limit - out[3]);
            const float chromatic = out[0] + out[1] + out[2];
            const float scale = chromatic > room ? room / chromatic : 1.0f;
            for (int c = 0; c < 3; ++c)
                out[c] *= scale;
            out[3] = std::min(out[3], limit);
        }
    }

    ColourModel& model_;
    const GcrSettings& s_;
    std::size_t n_;
    const std::vector<float> original_;
    std::vector<float> targets_;
    std::vector<float> residual_;
    std::vector<float> wanted_;
    float* v_;
    InkBounds bounds_;
    DarknessScale darkness_;
};

}  // namespace

bool Reseparate(const TProc& process, const GcrSettings& settings, std::vector<float>* cmyk,
                std::string* error) {
    if (process.ColorSpace() != cmsSigCmykData) {
        *error = "ink saving needs a CMYK process; '" + process.Name() + "' is not one";
        return false;
    }
    std::unique_ptr<ColourModel> model = ColourModel::Create(process, error);
    if (!model)
        return false;
    Reseparation(*model, settings, cmyk).Run();
    return true;
}

}  // namespace rdz::cms
