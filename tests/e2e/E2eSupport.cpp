#include "tests/e2e/E2eSupport.h"

#include <fcntl.h>
#include <lcms2.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace rdz::e2e {
namespace {

namespace fs = std::filesystem;

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;
using Transform = std::unique_ptr<void, TransformDeleter>;

Profile OpenProfile(const std::string& path) {
    Profile profile(cmsOpenProfileFromFile(path.c_str(), "r"));
    if (!profile) {
        throw std::runtime_error("cannot open profile " + path);
    }
    return profile;
}

std::vector<std::uint8_t> Apply(void* transform, const std::vector<std::uint8_t>& pixels) {
    if (transform == nullptr) {
        throw std::runtime_error("LittleCMS built no transform");
    }
    std::vector<std::uint8_t> out(pixels.size());
    cmsDoTransform(transform, pixels.data(), out.data(),
                   static_cast<cmsUInt32Number>(pixels.size() / 4));
    return out;
}

/// Variables set (value) or removed (no value) for the program's runs.
std::map<std::string, std::pair<bool, std::string>>& CliEnvironment() {
    static std::map<std::string, std::pair<bool, std::string>> environment;
    return environment;
}

/// Runs the program in a child process; standard output goes to `outFile`,
/// standard error to `errFd`.
pid_t Spawn(const std::vector<std::string>& args, const std::string& outFile, int errFd,
            bool terminal) {
    const std::string cache = CliCacheFolder();  // made here, never in the child
    const pid_t child = fork();
    if (child != 0) {
        return child;
    }
    const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(errFd, 2);
    unsetenv("RDZ_NO_PROGRESS");
    unsetenv("RODADAZERIVO_CMS");
    setenv("TERM", terminal ? "xterm" : "dumb", 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    for (const auto& [name, value] : CliEnvironment()) {
        if (value.first) {
            setenv(name.c_str(), value.second.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    std::vector<char*> argv;
    std::string program = RDZ_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

int Wait(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

/// libtiff's messages, less the warnings it sends as errors (ink names that
/// do not cover the alpha sample, which the program leaves unnamed).
void TiffMessage(const char* module, const char* format, va_list args) {
    if (std::strncmp(format, "Warning", 7) == 0) {
        return;
    }
    std::fprintf(stderr, "%s: ", module != nullptr ? module : "libtiff");
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

TIFF* OpenTiffQuietly(const std::string& path, const char* mode) {
    TIFFSetErrorHandler(&TiffMessage);
    TIFFSetWarningHandler(nullptr);
    return TIFFOpen(path.c_str(), mode);
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, bool terminal) {
    Scratch files;
    const std::string outFile = files.Path("stdout");
    CliRun run;
    if (!terminal) {
        const std::string errFile = files.Path("stderr");
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const pid_t child = Spawn(args, outFile, err, false);
        close(err);
        run.status = Wait(child);
        run.err = ReadText(errFile);
    } else {
        // posix_openpt rather than openpty: valgrind knows every ioctl it uses.
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        const char* name = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0
                               ? ptsname(master)
                               : nullptr;
        const int slave = name != nullptr ? open(name, O_RDWR | O_NOCTTY) : -1;
        if (slave < 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        const pid_t child = Spawn(args, outFile, slave, true);
        close(slave);
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0) {
                break;  // EIO once the child has closed its side
            }
            run.err.append(buffer, static_cast<std::size_t>(got));
        }
        close(master);
        run.status = Wait(child);
    }
    run.out = ReadText(outFile);
    return run;
}

void SetCliEnvironment(const std::string& name, const char* value) {
    CliEnvironment()[name] = value != nullptr ? std::make_pair(true, std::string(value))
                                              : std::make_pair(false, std::string());
}

void ResetCliEnvironment() {
    CliEnvironment().clear();
}

std::string CliCacheFolder() {
    static const Scratch cache;
    return cache.Folder();
}

int StartCli(const std::vector<std::string>& args) {
    const int null = open("/dev/null", O_WRONLY);
    const pid_t child = Spawn(args, "/dev/null", null, false);
    close(null);
    return child;
}

int WaitCli(int process) {
    return Wait(process);
}

bool MethodBuilt(const std::string& method) {
    static const std::string version = RunCli({"--version"}).out;
    const std::size_t line = version.find("methods:");
    if (line == std::string::npos) {
        return false;
    }
    std::string methods = version.substr(line) + " ";
    std::replace(methods.begin(), methods.end(), '\n', ' ');
    return methods.find(" " + method + " ") != std::string::npos;
}

Scratch::Scratch() {
    std::string pattern = (fs::temp_directory_path() / "rdz-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    folder_ = pattern;
}

Scratch::~Scratch() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

std::vector<std::string> Scratch::Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

void CopyFolder(const std::string& from, const std::string& to) {
    fs::copy(from, to, fs::copy_options::recursive);
}

std::string ExampleCmsDb() {
    return RDZ_EXAMPLE_CMSDB;
}

std::string ExamplesDir() {
    return RDZ_EXAMPLES_DIR;
}

std::string DefaultCmykProfile() {
    return std::string(RDZ_GS_ICC_DIR) + "/default_cmyk.icc";
}

std::string PsCmykProfile() {
    return std::string(RDZ_GS_ICC_DIR) + "/ps_cmyk.icc";
}

void WriteDeviceLink(const std::string& source, const std::string& destination,
                     const std::string& path) {
    const Profile from = OpenProfile(source);
    const Profile to = OpenProfile(destination);
    const Transform transform(cmsCreateTransform(from.get(), TYPE_CMYK_8, to.get(), TYPE_CMYK_8,
                                                 INTENT_RELATIVE_COLORIMETRIC, 0));
    const Profile link(cmsTransform2DeviceLink(transform.get(), 4.3, 0));
    if (!link || !cmsSaveProfileToFile(link.get(), path.c_str())) {
        throw std::runtime_error("cannot write the device link " + path);
    }
}

std::vector<std::uint8_t> ApplyDeviceLink(const std::string& link,
                                          const std::vector<std::uint8_t>& pixels) {
    const Profile profile = OpenProfile(link);
    const Transform transform(cmsCreateTransform(profile.get(), TYPE_CMYK_8, nullptr, TYPE_CMYK_8,
                                                 INTENT_RELATIVE_COLORIMETRIC, 0));
    return Apply(transform.get(), pixels);
}

std::vector<std::uint8_t> ConvertCmyk(const std::string& source, const std::string& destination,
                                      int intent, bool blackPointCompensation,
                                      const std::vector<std::uint8_t>& pixels) {
    const Profile from = OpenProfile(source);
    const Profile to = OpenProfile(destination);
    const Transform transform(cmsCreateTransform(
        from.get(), TYPE_CMYK_8, to.get(), TYPE_CMYK_8, static_cast<cmsUInt32Number>(intent),
        blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0));
    return Apply(transform.get(), pixels);
}

// ---------------------------------------------------------------------------
// TIFF fixtures

std::vector<std::uint8_t> TestPixels(const TestTiff& recipe) {
    const int samples = recipe.colour + static_cast<int>(recipe.extras.size());
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x) {
            for (int s = 0; s < samples; ++s) {
                pixels.push_back(static_cast<std::uint8_t>((y * 37 + x * 11 + s * 53) % 256));
            }
        }
    }
    return pixels;
}

void WriteTiff(const std::string& path, const TestTiff& recipe,
               const std::vector<std::uint8_t>& pixels) {
    const int samples = recipe.colour + static_cast<int>(recipe.extras.size());
    TIFF* tiff = OpenTiffQuietly(path, "w");
    if (tiff == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, recipe.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, recipe.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, recipe.photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 recipe.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, recipe.compression);
    if (recipe.predictor != 1) {
        TIFFSetField(tiff, TIFFTAG_PREDICTOR, recipe.predictor);
    }
    if (!recipe.extras.empty()) {
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(recipe.extras.size()),
                     recipe.extras.data());
    }
    if (!recipe.inkNames.empty()) {
        std::string names;
        for (const std::string& name : recipe.inkNames) {
            names += name;
            names.push_back('\0');
        }
        TIFFSetField(tiff, TIFFTAG_INKNAMES, static_cast<std::uint16_t>(names.size()),
                     names.data());
    }
    if (recipe.resolution > 0.0f) {
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, recipe.resolution);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, recipe.resolution);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    const std::size_t width = static_cast<std::size_t>(recipe.width);
    const std::size_t spp = static_cast<std::size_t>(samples);
    auto sampleAt = [&](std::size_t x, std::size_t y, std::size_t s) {
        return pixels[(y * width + x) * spp + s];
    };
    const int planes = recipe.separate ? samples : 1;
    const std::size_t perChunk = recipe.separate ? 1 : spp;
    if (recipe.tiled) {
        const int tile = 16;
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, tile);
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(tile * tile) * perChunk);
        for (int plane = 0; plane < planes; ++plane) {
            for (int y0 = 0; y0 < recipe.height; y0 += tile) {
                for (int x0 = 0; x0 < recipe.width; x0 += tile) {
                    std::fill(buffer.begin(), buffer.end(), 0);
                    for (int y = y0; y < std::min(y0 + tile, recipe.height); ++y) {
                        for (int x = x0; x < std::min(x0 + tile, recipe.width); ++x) {
                            for (std::size_t k = 0; k < perChunk; ++k) {
                                const std::size_t s = recipe.separate ? plane : k;
                                buffer[(static_cast<std::size_t>(y - y0) * tile + (x - x0)) *
                                           perChunk +
                                       k] = sampleAt(x, y, s);
                            }
                        }
                    }
                    TIFFWriteTile(tiff, buffer.data(), x0, y0, 0,
                                  static_cast<std::uint16_t>(plane));
                }
            }
        }
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, recipe.rowsPerStrip);
        std::vector<std::uint8_t> line(width * perChunk);
        for (int plane = 0; plane < planes; ++plane) {
            for (int y = 0; y < recipe.height; ++y) {
                for (std::size_t x = 0; x < width; ++x) {
                    for (std::size_t k = 0; k < perChunk; ++k) {
                        line[x * perChunk + k] =
                            sampleAt(x, static_cast<std::size_t>(y), recipe.separate ? plane : k);
                    }
                }
                TIFFWriteScanline(tiff, line.data(), static_cast<std::uint32_t>(y),
                                  static_cast<std::uint16_t>(plane));
            }
        }
    }
    TIFFClose(tiff);
}

TiffContent ReadTiff(const std::string& path) {
    TiffContent content;
    TIFF* tiff = OpenTiffQuietly(path, "r");
    if (tiff == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t samples = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &content.photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &content.inkSet);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &content.compression);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &content.xResolution);
    std::uint16_t count = 0;
    std::uint16_t* extras = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &extras) != 0) {
        content.extras.assign(extras, extras + count);
    }
    char* names = nullptr;
    std::uint16_t inks = 0;
    if (TIFFGetField(tiff, TIFFTAG_INKNAMES, &names) != 0 &&
        TIFFGetField(tiff, TIFFTAG_NUMBEROFINKS, &inks) != 0) {
        for (std::uint16_t i = 0; i < inks; ++i) {
            content.inkNames.emplace_back(names);
            names += std::strlen(names) + 1;
        }
    }
    content.width = static_cast<int>(width);
    content.height = static_cast<int>(height);
    content.samples = samples;
    const tmsize_t line = TIFFScanlineSize(tiff);
    content.pixels.resize(static_cast<std::size_t>(line) * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        TIFFReadScanline(tiff, content.pixels.data() + static_cast<std::size_t>(line) * y, y, 0);
    }
    TIFFClose(tiff);
    return content;
}

}  // namespace rdz::e2e
