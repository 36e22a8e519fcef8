// Running the rodadazerivo program as a user would, and the files around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rdz::e2e {

/// What one run of the program gave.
struct CliRun {
    int status = -1;  // exit status; 128 + signal when it was killed
    std::string out;  // standard output
    std::string err;  // standard error
};

/// Runs the program with `args` (and no terminal). `terminal` true attaches
/// standard error to a pseudo-terminal instead (its output lands in `err`).
CliRun RunCli(const std::vector<std::string>& args, bool terminal = false);

/// Environment the program gets besides the test's own: `value` set for
/// `name`, or the variable removed when `value` is null. Every run gets
/// XDG_CACHE_HOME in a folder of this test program unless it is set here, so
/// that no run touches the user's link store.
void SetCliEnvironment(const std::string& name, const char* value);
/// Back to the test's own environment (and the scratch XDG_CACHE_HOME).
void ResetCliEnvironment();
/// The XDG_CACHE_HOME every run gets unless SetCliEnvironment says otherwise.
std::string CliCacheFolder();

/// Starts the program with `args` without waiting for it (output discarded);
/// WaitCli gives its exit status as RunCli does.
int StartCli(const std::vector<std::string>& args);
int WaitCli(int process);

/// The methods this build of the program offers ("strategy", "profile",
/// "device-link"), from `rodadazerivo --version`.
bool MethodBuilt(const std::string& method);

/// A fresh folder, removed with everything in it when the object goes.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    const std::string& Folder() const { return folder_; }
    /// The names of the files in the folder, sorted (hidden files included).
    std::vector<std::string> Files() const;

  private:
    std::string folder_;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
/// Copies a folder with everything in it.
void CopyFolder(const std::string& from, const std::string& to);

/// The example CMS database of the build and the examples folder.
std::string ExampleCmsDb();
std::string ExamplesDir();
/// Debian's CMYK profiles.
std::string DefaultCmykProfile();
std::string PsCmykProfile();

/// Writes a CMYK-to-CMYK device link from `source` to `destination`
/// (relative colorimetric) made by LittleCMS.
void WriteDeviceLink(const std::string& source, const std::string& destination,
                     const std::string& path);
/// Applies an ICC device link (CMYK to CMYK, 8 bits, relative colorimetric)
/// to `pixels` (4 bytes each) with LittleCMS.
std::vector<std::uint8_t> ApplyDeviceLink(const std::string& link,
                                          const std::vector<std::uint8_t>& pixels);
/// Converts CMYK bytes from one profile to another with LittleCMS.
std::vector<std::uint8_t> ConvertCmyk(const std::string& source, const std::string& destination,
                                      int intent, bool blackPointCompensation,
                                      const std::vector<std::uint8_t>& pixels);

// ---------------------------------------------------------------------------
// TIFF fixtures

struct TestTiff {
    int width = 13;
    int height = 7;
    int colour = 4;                     // colour samples (CMYK: 4)
    std::vector<std::uint16_t> extras;  // ExtraSamples values (2: unassociated alpha)
    std::vector<std::string> inkNames;  // InkNames tag (none when empty)
    std::uint16_t photometric = 5;      // separated
    std::uint16_t compression = 1;
    std::uint16_t predictor = 1;
    bool tiled = false;     // 16 x 16 tiles
    bool separate = false;  // one plane per sample
    int rowsPerStrip = 3;
    float resolution = 0.0f;  // 0: no resolution tags
};

/// The samples of a test image: pixel after pixel, samples interleaved;
/// every value differs from its neighbours.
std::vector<std::uint8_t> TestPixels(const TestTiff& recipe);
/// Writes `pixels` (interleaved) as a TIFF file laid out as `recipe` says.
void WriteTiff(const std::string& path, const TestTiff& recipe,
               const std::vector<std::uint8_t>& pixels);

/// A TIFF file as read back: its tags of interest and interleaved samples.
struct TiffContent {
    int width = 0;
    int height = 0;
    int samples = 0;
    std::uint16_t photometric = 0;
    std::uint16_t inkSet = 0;
    std::uint16_t compression = 0;
    std::vector<std::uint16_t> extras;
    std::vector<std::string> inkNames;
    float xResolution = 0.0f;
    std::vector<std::uint8_t> pixels;
};
TiffContent ReadTiff(const std::string& path);

}  // namespace rdz::e2e
