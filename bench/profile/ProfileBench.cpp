// The profile converter on a 6000 x 6000 CMYK image whose links are already
// stored in the database (a warm-up conversion stores them, as after a
// shop's first job with these settings), in interleaved rounds
// (bench/BenchRounds.h), each content (noise, realistic) with 1 image thread
// and with --threads N:
//  - ColourSpace: colour-space conversion against LittleCMS applying the
//    stored link file with default flags, row by row on one thread;
//  - Chain: colour-space conversion and reseparation against LittleCMS
//    applying the two stored link files as one transform (default flags);
//  - VsDeviceLink: colour-space conversion against the device-link
//    converter through the same stored link file, with the same threads
//    (the profile path should cost at most 1.10 x the device-link path);
//  - SetUp: the set-up of a first conversion (links computed and stored)
//    against a second one with the same settings (links found again).
//
//   bench_profile [--threads N] [--benchmark_filter=realistic]
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "bench/BenchImages.h"
#include "bench/BenchRounds.h"
#include "devicelink/TColorConverter_IccDeviceLink.h"
#include "platform/cms/StandIn.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"
#include "profile/TColorConverter_ProfileToProfile.h"

using namespace rdz::kelt;
namespace fs = std::filesystem;

namespace {

const int kSide = rdz::bench::ImageSide(6000);

fs::path MakeDatabase(const char* name) {
    const fs::path folder =
        fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "processes");
    fs::copy_file(RDZ_GS_ICC_DIR "/default_cmyk.icc", folder / "processes" / "src.icc");
    fs::copy_file(RDZ_GS_ICC_DIR "/ps_cmyk.icc", folder / "processes" / "dst.icc");
    // The device-link converter's linear strategy maps the process inks
    // onto this process (the same profile as the source: a plain copy).
    fs::copy_file(RDZ_GS_ICC_DIR "/default_cmyk.icc",
                  folder / "processes" / "ISOCoated_v2_eci.icc");
    return folder;
}

/// The stored link whose name starts with `prefix`.
fs::path StoredLink(const fs::path& folder, const std::string& prefix) {
    for (const auto& entry : fs::recursive_directory_iterator(folder / "links")) {
        if (entry.path().extension() == ".icc" &&
            entry.path().filename().string().rfind(prefix, 0) == 0) {
            return entry.path();
        }
    }
    return {};
}

/// LittleCMS applying `links` (one device link, or two in a chain) to
/// interleaved CMYK `pixels`, row by row into a new image, default flags.
void LittleCms(const std::vector<fs::path>& links, const std::vector<std::uint8_t>& pixels) {
    std::vector<cmsHPROFILE> profiles;
    for (const fs::path& link : links) {
        profiles.push_back(cmsOpenProfileFromFile(link.string().c_str(), "r"));
    }
    cmsHTRANSFORM t = cmsCreateMultiprofileTransform(
        profiles.data(), static_cast<cmsUInt32Number>(profiles.size()), TYPE_CMYK_8, TYPE_CMYK_8,
        INTENT_RELATIVE_COLORIMETRIC, 0);
    // A whole output image, as a program that converts an image makes one.
    const size_t row = static_cast<size_t>(kSide) * 4;
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[row * static_cast<size_t>(kSide)]);
    for (int y = 0; y < kSide; ++y) {
        cmsDoTransform(t, pixels.data() + y * row, out.get() + y * row, kSide);
    }
    benchmark::DoNotOptimize(out.get());
    cmsDeleteTransform(t);
    for (cmsHPROFILE profile : profiles) {
        cmsCloseProfile(profile);
    }
}

/// A document with one `side` x `side` CMYK image of `planar` samples
/// (empty: zero samples).
std::unique_ptr<ScopedDocument> ImageDocument(int side, const std::vector<std::uint8_t>& planar) {
    auto doc = std::make_unique<ScopedDocument>();
    ImageSetup image;
    image.inks = AddCmykInks(*doc, "Process", "CMYK");
    image.width = side;
    image.height = side;
    image.pixels = planar;
    AddImageDefinition(*doc, image);
    return doc;
}

TReseparateOptions ProfileOptions(bool chain) {
    TReseparateOptions options;
    options.SetRodadazErivoSpace(true);
    options.SetReseparate(chain);
    options.SetTotalInk(3.2);
    options.SetSourceProfile("src.icc");
    options.SetDestinationProfile("dst.icc");
    return options;
}

void ProfileConvert(document_object_t* doc, bool chain, int threads) {
    TGeneralColorConverterOptions general;
    TReseparateOptions options = ProfileOptions(chain);
    TColorConverter_ProfileToProfile converter(doc, general, options);
    converter.SetThreadCount(threads);
    converter.Convert();
}

enum class Reference { LittleCms, DeviceLinkConverter };

/// A database whose links for one setting are stored (by a warm-up
/// conversion of a one-pixel image), made once per program run.
struct StoredDatabase {
    fs::path folder;
    std::vector<fs::path> links;  // colour space, then reseparation
    ~StoredDatabase() { fs::remove_all(folder); }
};

const StoredDatabase& DatabaseFor(bool chain) {
    static std::unique_ptr<StoredDatabase> made[2];
    std::unique_ptr<StoredDatabase>& db = made[chain ? 1 : 0];
    if (!db) {
        db = std::make_unique<StoredDatabase>();
        db->folder = MakeDatabase(chain ? "rdz-bench-profile-chain" : "rdz-bench-profile");
        rdz::cms::SetDatabaseFolder(db->folder.string());
        RecordingMessageSink quiet;
        std::unique_ptr<ScopedDocument> warmUp = ImageDocument(1, {});
        ProfileConvert(*warmUp, chain, 1);
        db->links.push_back(StoredLink(db->folder, "rodadazerivospace"));
        if (chain) {
            db->links.push_back(StoredLink(db->folder, "reseparation"));
        }
        rdz::cms::SetDatabaseFolder("");
    }
    return *db;
}

void ProfileImage(benchmark::State& state, BenchContent content, bool chain, Reference reference) {
    static int round = 0;
    const int threads = static_cast<int>(state.range(0));
    const StoredDatabase& db = DatabaseFor(chain);
    const std::vector<fs::path>& links = db.links;
    rdz::cms::SetDatabaseFolder(db.folder.string());
    RecordingMessageSink quiet;
    const BenchImage& pixels = CachedImage(content, kSide, kSide, 4);
    std::unique_ptr<ScopedDocument> doc;
    const auto newDocument = [&] {
        doc.reset();
        doc = ImageDocument(kSide, pixels.planar);
    };
    rdz::bench::Side ours{newDocument, [&] { ProfileConvert(*doc, chain, threads); }};
    rdz::bench::Side ref{{}, [&] { LittleCms(links, pixels.interleaved); }};
    if (reference == Reference::DeviceLinkConverter) {
        ref = {newDocument, [&] {
                   TGeneralColorConverterOptions general;
                   TReseparateOptions options;
                   options.SetRodadazErivoSpace(true);
                   options.SetIccDeviceLink(links[0].string());
                   TColorConverter_IccDeviceLink converter(*doc, general, options);
                   converter.SetThreadCount(threads);
                   converter.Convert();
               }};
    }
    rdz::bench::Round(state, round, ours, ref);
    doc.reset();
    rdz::cms::SetDatabaseFolder("");
}

/// Set-up only: a document with one paint, so that the link work dominates.
double SetUpSeconds() {
    ScopedDocument doc;
    std::vector<inkt_t*> cmyk = AddCmykInks(doc, "Process", "CMYK");
    AddSolid(doc, {{cmyk[0], 0.5}});
    TGeneralColorConverterOptions general;
    TReseparateOptions options = ProfileOptions(true);
    TColorConverter_ProfileToProfile converter(doc, general, options);
    return rdz::bench::WallSeconds([&] { converter.Convert(); });
}

void SetUp(benchmark::State& state) {
    RecordingMessageSink quiet;
    double first = 0, second = 0;
    for (auto _ : state) {
        const fs::path folder = MakeDatabase("rdz-bench-setup");
        rdz::cms::SetDatabaseFolder(folder.string());
        first = SetUpSeconds();
        second = SetUpSeconds();
        state.SetIterationTime(first + second);
        rdz::cms::SetDatabaseFolder("");
        fs::remove_all(folder);
    }
    state.counters["first_ms"] = 1000 * first;
    state.counters["second_ms"] = 1000 * second;
    state.counters["second_share"] = second / first;
}

}  // namespace

int main(int argc, char** argv) {
    return rdz::bench::Main(argc, argv, [](int threads) {
        const struct {
            const char* name;
            bool chain;
            Reference reference;
        } cases[] = {{"ColourSpace", false, Reference::LittleCms},
                     {"Chain", true, Reference::LittleCms},
                     {"VsDeviceLink", false, Reference::DeviceLinkConverter}};
        for (const auto& c : cases) {
            for (BenchContent content : {BenchContent::Noise, BenchContent::Realistic}) {
                auto* b = benchmark::RegisterBenchmark(
                    (std::string(c.name) + "/" + ContentName(content)).c_str(), ProfileImage,
                    content, c.chain, c.reference);
                rdz::bench::Rounds(b)->ArgName("threads");
                for (int t : rdz::bench::ThreadRuns(threads)) {
                    b->Arg(t);
                }
            }
        }
        benchmark::RegisterBenchmark("SetUp", SetUp)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(3);
    });
}
