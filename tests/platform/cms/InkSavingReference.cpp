#include "tests/platform/cms/InkSavingReference.h"

#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/cms/LcmsHandles.h"

namespace cmstest {

namespace {

namespace fs = std::filesystem;

std::vector<cmsCIELab> ToLab(const std::string& profile, const std::vector<unsigned char>& cmyk) {
    rdz::cms::ProfileHandle device(cmsOpenProfileFromFile(profile.c_str(), "r"));
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    std::vector<cmsCIELab> result(cmyk.size() / 4);
    if (!device || !lab)
        return {};
    rdz::cms::TransformHandle transform(cmsCreateTransform(
        device.get(), TYPE_CMYK_8, lab.get(), TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    if (!transform)
        return {};
    cmsDoTransform(transform.get(), cmyk.data(), result.data(),
                   static_cast<cmsUInt32Number>(result.size()));
    return result;
}

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

/// FNV-1a over the profile's bytes and the arguments.
std::string CacheKey(const std::string& profile, const std::string& arguments) {
    std::ifstream in(profile, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::uint64_t hash = 1469598103934665603ull;
    for (const std::string* part : {&bytes, &arguments}) {
        for (unsigned char c : *part) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
    }
    return Hex(hash);
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::vector<unsigned char> CmykGrid(int levels) {
    std::vector<unsigned char> grid;
    grid.reserve(static_cast<std::size_t>(levels * levels * levels * levels) * 4);
    auto value = [levels](int i) {
        return static_cast<unsigned char>(std::lround(i * 255.0 / (levels - 1)));
    };
    for (int c = 0; c < levels; ++c)
        for (int m = 0; m < levels; ++m)
            for (int y = 0; y < levels; ++y)
                for (int k = 0; k < levels; ++k)
                    grid.insert(grid.end(), {value(c), value(m), value(y), value(k)});
    return grid;
}

bool MeasureLink(const std::string& link, const std::string& profile,
                 const std::vector<unsigned char>& grid, InkFigures* figures, std::string* error) {
    rdz::cms::ProfileHandle device(cmsOpenProfileFromFile(link.c_str(), "r"));
    rdz::cms::TransformHandle transform;
    if (device) {
        transform.reset(cmsCreateTransform(device.get(), TYPE_CMYK_8, nullptr, TYPE_CMYK_8,
                                           cmsGetHeaderRenderingIntent(device.get()), 0));
    }
    if (!transform) {
        *error = "LittleCMS cannot apply " + link;
        return false;
    }
    const std::size_t n = grid.size() / 4;
    std::vector<unsigned char> out(grid.size());
    cmsDoTransform(transform.get(), grid.data(), out.data(), static_cast<cmsUInt32Number>(n));
    const std::vector<cmsCIELab> before = ToLab(profile, grid);
    const std::vector<cmsCIELab> after = ToLab(profile, out);
    if (before.size() != n || after.size() != n) {
        *error = "LittleCMS cannot convert the colours of " + profile;
        return false;
    }
    InkFigures f;
    std::vector<double> differences(n);
    double inkBefore = 0.0, inkAfter = 0.0, sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* a = &grid[i * 4];
        const unsigned char* b = &out[i * 4];
        inkBefore += a[0] + a[1] + a[2] + a[3];
        const int total = b[0] + b[1] + b[2] + b[3];
        inkAfter += total;
        f.maxTotal = std::max(f.maxTotal, total);
        differences[i] = cmsCIE2000DeltaE(&before[i], &after[i], 1.0, 1.0, 1.0);
        sum += differences[i];
    }
    f.inkBefore = inkBefore / static_cast<double>(n) / 2.55;
    f.inkAfter = inkAfter / static_cast<double>(n) / 2.55;
    f.meanDeltaE = sum / static_cast<double>(n);
    std::sort(differences.begin(), differences.end());
    f.p95DeltaE = differences[n * 95 / 100];
    f.maxDeltaE = differences.back();
    *figures = f;
    return true;
}

bool CollinkAvailable() {
    return std::system("command -v collink > /dev/null 2>&1") == 0;
}

std::string CollinkArguments(const std::string& black, int totalInkPercent) {
    return "-qm -G -ir -k " + black + " -l " + std::to_string(totalInkPercent);
}

std::vector<std::string> CollinkLinks(const std::string& profile,
                                      const std::vector<std::string>& blacks, int totalInkPercent,
                                      const std::string& cacheFolder, std::string* error) {
    std::error_code ec;
    fs::create_directories(cacheFolder, ec);
    std::vector<std::string> files;
    std::vector<std::string> commands;
    std::vector<std::string> made;
    for (const std::string& black : blacks) {
        const std::string arguments = CollinkArguments(black, totalInkPercent);
        const std::string file = cacheFolder + "/collink-" + CacheKey(profile, arguments) + ".icc";
        files.push_back(file);
        if (fs::exists(file, ec))
            continue;
        // Written under a name of its own, then renamed: a second test
        // program running at the same time never reads half a file.
        const std::string partial = file + ".part" + std::to_string(::getpid());
        commands.push_back("collink " + arguments + " " + Quoted(profile) + " " + Quoted(profile) +
                           " " + Quoted(partial) + " > /dev/null 2>&1");
        made.push_back(partial);
    }
    std::vector<int> results(commands.size(), -1);
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < commands.size(); ++i)
        runs.emplace_back(
            [&commands, &results, i] { results[i] = std::system(commands[i].c_str()); });
    for (std::thread& run : runs)
        run.join();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const std::string file = made[i].substr(0, made[i].rfind(".part"));
        if (results[i] != 0 || !fs::exists(made[i], ec)) {
            *error = "collink failed: " + commands[i];
            fs::remove(made[i], ec);
            return {};
        }
        fs::rename(made[i], file, ec);
        if (ec) {
            *error = "cannot keep " + file + ": " + ec.message();
            return {};
        }
    }
    return files;
}

std::vector<unsigned short> NeutralGreys(const std::string& profile, int count, double darkest) {
    rdz::cms::ProfileHandle device(cmsOpenProfileFromFile(profile.c_str(), "r"));
    rdz::cms::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    rdz::cms::TransformHandle separate(cmsCreateTransform(
        lab.get(), TYPE_Lab_DBL, device.get(), TYPE_CMYK_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    rdz::cms::TransformHandle colour(cmsCreateTransform(device.get(), TYPE_CMYK_DBL, lab.get(),
                                                        TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                                        cmsFLAGS_NOCACHE));
    std::vector<unsigned short> greys;
    if (!separate || !colour)
        return greys;
    auto labOf = [&colour](const double* cmyk) {
        cmsCIELab result;
        cmsDoTransform(colour.get(), cmyk, &result, 1);
        return result;
    };
    for (int i = 0; i < count; ++i) {
        const cmsCIELab grey{100.0 - i * (100.0 - darkest) / (count - 1), 0.0, 0.0};
        double cmyk[4];  // percent
        cmsDoTransform(separate.get(), &grey, cmyk, 1);
        for (int step = 0; step < 6; ++step) {
            const cmsCIELab at = labOf(cmyk);
            const double miss[3] = {grey.L - at.L, grey.a - at.a, grey.b - at.b};
            double jacobian[3][3];
            for (int c = 0; c < 3; ++c) {
                double moved[4] = {cmyk[0], cmyk[1], cmyk[2], cmyk[3]};
                const double h = moved[c] > 50.0 ? -0.2 : 0.2;
                moved[c] += h;
                const cmsCIELab m = labOf(moved);
                jacobian[0][c] = (m.L - at.L) / h;
                jacobian[1][c] = (m.a - at.a) / h;
                jacobian[2][c] = (m.b - at.b) / h;
            }
            // Cramer's rule on the 3 x 3 system.
            auto det = [](const double m[3][3]) {
                return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
            };
            const double d = det(jacobian);
            if (std::fabs(d) < 1e-12)
                break;
            double step3[3];
            for (int c = 0; c < 3; ++c) {
                double m[3][3];
                for (int r = 0; r < 3; ++r)
                    for (int k = 0; k < 3; ++k)
                        m[r][k] = k == c ? miss[r] : jacobian[r][k];
                step3[c] = det(m) / d;
            }
            for (int c = 0; c < 3; ++c)
                cmyk[c] = std::clamp(cmyk[c] + step3[c], 0.0, 100.0);
        }
        for (double value : cmyk)
            greys.push_back(static_cast<unsigned short>(std::lround(value * 655.35)));
    }
    return greys;
}

}  // namespace cmstest
