#include "platform/cms/CleanColors.h"

#include <algorithm>
#include <array>

#include "platform/cms/InkSolver.h"
#include "platform/cms/TCleanColorsSettings.h"
#include "platform/cms/TProc.h"

namespace rdz::cms {

namespace {

constexpr int kIterations = 16;

/// Input values of node `index` (grid positions, last input fastest).
void NodeInputs(std::size_t index, int grid, int nIn, std::array<int, 4>* steps) {
    for (int c = nIn - 1; c >= 0; --c) {
        (*steps)[static_cast<std::size_t>(c)] = static_cast<int>(index % grid);
        index /= static_cast<std::size_t>(grid);
    }
}

std::size_t NodeIndex(const std::array<int, 4>& steps, int grid, int nIn) {
    std::size_t index = 0;
    for (int c = 0; c < nIn; ++c)
        index = index * static_cast<std::size_t>(grid) + static_cast<std::size_t>(steps[c]);
    return index;
}

/// Bits 0..2: the chromatic inks the node uses.
unsigned UsedInks(const std::array<int, 4>& steps) {
    unsigned used = 0;
    for (int c = 0; c < 3; ++c)
        used |= steps[static_cast<std::size_t>(c)] > 0 ? 1u << c : 0u;
    return used;
}

float Smoothstep(float u) {
    u = std::clamp(u, 0.0f, 1.0f);
    return u * u * (3.0f - 2.0f * u);
}

}  // namespace

bool KeepColorsClean(const TCleanColorsSettings& settings, const TProc& source,
                     const TProc& destination, bool absolute, int grid, int nIn, int nOut,
                     std::vector<float>* table, std::string* error) {
    std::vector<unsigned> clean;  // ink sets, bits 0..2
    for (int p : settings.Primaries())
        clean.push_back(1u << p);
    for (const auto& pair : settings.Secondaries())
        clean.push_back((1u << pair[0]) | (1u << pair[1]));
    if (clean.empty())
        return true;
    std::unique_ptr<ColourModel> from = ColourModel::Create(source, error, absolute);
    if (!from)
        return false;
    std::unique_ptr<ColourModel> to = ColourModel::Create(destination, error, absolute);
    if (!to)
        return false;
    if (from->Channels() != nIn || to->Channels() != nOut) {
        *error = "the link's channels are not those of '" + source.Name() + "' and '" +
                 destination.Name() + "'";
        return false;
    }

    const std::size_t nodes = table->size() / static_cast<std::size_t>(nOut);
    const auto stride = static_cast<std::size_t>(nOut);
    const bool blackBothSides = nIn == 4 && nOut == 4;
    const float step = 1.0f / static_cast<float>(grid - 1);
    auto isClean = [&](unsigned used) {
        for (unsigned set : clean) {
            if ((used & ~set) == 0)
                return true;
        }
        return false;
    };

    // Clean nodes: the source's colour, solved with their own inks only.
    std::vector<float> before(*table);
    std::vector<InkTask> tasks;
    std::vector<float> inputs;
    std::array<int, 4> steps{};
    std::vector<char> cleanNode(nodes, 0);
    for (std::size_t i = 0; i < nodes; ++i) {
        NodeInputs(i, grid, nIn, &steps);
        const unsigned used = UsedInks(steps);
        if (!isClean(used))
            continue;
        cleanNode[i] = 1;
        unsigned allowed = used;
        if (blackBothSides && steps[3] > 0)
            allowed |= 1u << 3;
        float* out = &(*table)[i * stride];
        for (int c = 0; c < nOut; ++c) {
            if ((allowed & (1u << c)) == 0)
                out[c] = 0.0f;
        }
        if (allowed == 0)
            continue;
        tasks.push_back({i, allowed});
        for (int c = 0; c < nIn; ++c)
            inputs.push_back(static_cast<float>(steps[static_cast<std::size_t>(c)]) * step);
    }
    std::vector<float> targets(nodes * 3, 0.0f);
    {
        std::vector<float> labs(tasks.size() * 3);
        from->ToLab(inputs.data(), labs.data(), tasks.size());
        for (std::size_t t = 0; t < tasks.size(); ++t)
            std::copy_n(&labs[t * 3], 3, &targets[tasks[t].pixel * 3]);
    }
    std::vector<float> residual(nodes, 0.0f);
    SolveOptions options;
    options.maxIterations = kIterations;
    options.difference = ColourDifference::Ciede2000;
    SolveInks(*to, tasks, InkBounds{}, targets.data(), table->data(), residual.data(), options);

    // Solids stay solid: a kept ink at 100% stays 100%, and from 75% up its
    // value is drawn smoothly towards that, so that ramps stay rising.
    for (const InkTask& task : tasks) {
        NodeInputs(task.pixel, grid, nIn, &steps);
        float* out = &(*table)[task.pixel * stride];
        for (int c = 0; c < std::min(nIn, nOut); ++c) {
            if ((task.freeChannels & (1u << c)) == 0)
                continue;
            const float in = static_cast<float>(steps[static_cast<std::size_t>(c)]) * step;
            const float pull = Smoothstep((in - kSolidFrom) / (1.0f - kSolidFrom));
            out[c] += (1.0f - out[c]) * pull;
        }
    }

    // Nodes near a clean colour follow part of its change.
    for (std::size_t i = 0; i < nodes; ++i) {
        if (cleanNode[i] != 0)
            continue;
        NodeInputs(i, grid, nIn, &steps);
        float bestWeight = 0.0f;
        std::size_t bestProjection = 0;
        for (unsigned set : clean) {
            int distance = 0;
            std::array<int, 4> projected = steps;
            for (int c = 0; c < 3; ++c) {
                if ((set & (1u << c)) == 0) {
                    distance = std::max(distance, steps[static_cast<std::size_t>(c)]);
                    projected[static_cast<std::size_t>(c)] = 0;
                }
            }
            const float weight =
                Smoothstep(1.0f - static_cast<float>(distance) * step / kCleanBlendWidth);
            if (weight > bestWeight) {
                bestWeight = weight;
                bestProjection = NodeIndex(projected, grid, nIn);
            }
        }
        if (bestWeight <= 0.0f)
            continue;
        float* out = &(*table)[i * stride];
        const float* cleaned = &(*table)[bestProjection * stride];
        const float* was = &before[bestProjection * stride];
        for (std::size_t c = 0; c < stride; ++c)
            out[c] = std::clamp(out[c] + bestWeight * (cleaned[c] - was[c]), 0.0f, 1.0f);
    }
    return true;
}

}  // namespace rdz::cms
