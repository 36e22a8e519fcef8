// The readers of the CMS database. The first byte of an input chooses the
// file it becomes in a small database, the rest is the file's content:
//   0  inkbooks/fuzz.json          an ink book
//   1  strategies/fuzz.json        a Color Strategy (also imported as text)
//   2  processes/Press.json        the descriptor of a process of our kind
//   3  links/stored/fuzz.json      the parameters of a stored device link,
//                                  beside a real link profile
//   4  processes/Fuzz              the ICC profile of a process
// The database is opened with TCMS_Init, and what was read is then used the
// way the converters use it: inks and processes looked up, the strategy
// exported and prepared for a row of pixels, the link loaded and applied, the
// process converted to and from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/CMS.h"
#include "platform/cms/StandIn.h"
#ifdef RDZ_FUZZ_HAVE_TOOLS
#include "formats/InkBooks.h"
#endif

namespace {

const char* const kProduct = "stored";

/// The database every input is read into, made on first use: a CMYK process
/// "Press", an RGB process "Screen", a process ink book and, for the link
/// parameters, the profile of a link from Press to Press that this library
/// stored (fuzz/data/stored-link.icc, kept because a profile carries its
/// creation time and so differs at every making). RDZ_FUZZ_WRITE_LINK=<dir>
/// stores a new link and writes its profile and its JSON (as a seed, with
/// the kind byte) into <dir>, to renew both.
class Database {
  public:
    Database() : folder_("rdz-fuzz-cmsdb") {
        rdzfuzz::CopyFile(std::string(rdzfuzz::kDebianIccFolder) + "/ps_cmyk.icc",
                          folder_ / "processes/Press");
        rdzfuzz::CopyFile(std::string(rdzfuzz::kDebianIccFolder) + "/srgb.icc",
                          folder_ / "processes/Screen");
        rdzfuzz::WriteText(folder_ / "inkbooks/process.json", R"({"book": "Process", "inks": [
  {"name": "Cyan", "lab": [55, -37, -50], "process": true},
  {"name": "Magenta", "lab": [48, 74, -3], "process": true},
  {"name": "Yellow", "lab": [89, -5, 93], "process": true},
  {"name": "Black", "lab": [16, 0, 0], "process": true},
  {"name": "Orange", "lab": [64, 56, 78]}]})");
        if (const char* renew = std::getenv("RDZ_FUZZ_WRITE_LINK")) {
            StoreLink();
            const std::string dir(renew);
            rdzfuzz::CopyFile(LinkFile("fuzz.icc"), dir + "/stored-link.icc");
            std::vector<std::uint8_t> seed{3};
            const std::vector<std::uint8_t> json = rdzfuzz::ReadBytes(LinkFile("fuzz.json"));
            seed.insert(seed.end(), json.begin(), json.end());
            rdzfuzz::WriteBytes(dir + "/link_stored_parameters", seed.data(), seed.size());
            rdzfuzz::Remove(folder_ / "links");
        }
        const char* source = std::getenv("RDZ_SOURCE_DIR");
        linkProfile_ = rdzfuzz::ReadBytes(std::string(source ? source : RDZ_FUZZ_SOURCE_DIR) +
                                          "/fuzz/data/stored-link.icc");
    }

    const std::string& Folder() const { return folder_.Path(); }
    std::string File(const std::string& relative) const { return folder_ / relative; }
    std::string LinkFile(const std::string& name) const {
        return folder_ / (std::string("links/") + kProduct + "/" + name);
    }
    const std::vector<std::uint8_t>& LinkProfile() const { return linkProfile_; }

  private:
    void StoreLink() {
        rdz::cms::SetDatabaseFolder(folder_.Path());
        TCMS_Init();
        auto lib = TCMS_GetLib();
        TCMS_ProcLinkDBNewProduct(lib, kProduct);
        auto press = TCMS_ProcDBNew(lib, "Press");
        TCMS::ProcLinkPar par;
        auto link = TCMS_ProcLinkNew(lib, kProduct, press, press, par);
        if (!link || TCMS_ProcLinkSetName(link, "fuzz") != 0 ||
            TCMS_ProcLinkSaveInDB(link, 1) != 0 || TCMS_ProcLinkFlushDB(lib) != 0) {
            std::abort();
        }
        TCMS_End();
    }

    rdzfuzz::ScratchFolder folder_;
    std::vector<std::uint8_t> linkProfile_;
};

/// Prepares the strategy for `inks` and converts a row of 16 pixels.
void ConvertRow(const std::shared_ptr<TColTransf>& strategy, const TInkVector& inks) {
    if (!strategy || inks.empty())
        return;
    TCMS_ColTransfInitOutputSpace(strategy, inks);
    const auto outputs = TCMS_ColTransfGetNamesOfOutputInks(strategy, false);
    TCMS_ColTransfGetNamesOfOutputInks(strategy, true);
    std::vector<double> opacity(inks.size(), 0.0);
    if (TCMS_ColTransfInitConvert(strategy, inks, opacity.data(), static_cast<int>(inks.size()), 0,
                                  255, static_cast<int>(outputs.size()), 0, 255, 1, 0, {}, {},
                                  nullptr, nullptr, nullptr, false) != 0) {
        return;
    }
    const int pixels = 16;
    std::vector<unsigned char> in(inks.size() * pixels), out(outputs.size() * pixels + 1, 0);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<unsigned char>(i * 53u);
    TCMS_ColTransfConvertAligned(strategy, in.data(), out.data(), pixels);
    TCMS_ColTransfEndConvert(strategy, false);
}

TInkVector InksOf(const std::shared_ptr<TCMSLibrary>& lib, const char* process) {
    TInkVector inks = TCMS_ProcGetInks(TCMS_ProcDBNew(lib, process));
    if (auto orange = TIDB_GetInk(lib, "Process", "Orange"))
        inks.push_back(orange);
    return inks;
}

void UseStrategy(const std::shared_ptr<TCMSLibrary>& lib, const std::string& text) {
    if (auto strategy = TCMS_ColTransfDBNew(lib, "fuzz")) {
        const std::string exported = rdz::cms::ExportStrategy(strategy);
        auto copy = TCMS_ColTransfNew(lib, TCMSDB_ColTransfGetType(lib, "fuzz"));
        if (copy && TCMS_ColTransfImportFromStream(copy, exported.c_str()) != 0)
            std::abort();  // an exported strategy must import again
        const char* src = nullptr;
        if (TCMS_ColTransfGetSrcDstProfileNames(strategy, &src, nullptr, false) == 0 && src)
            ConvertRow(strategy, InksOf(lib, std::string(src).c_str()));
    }
    // The same text as an import, which does not go through the file reader.
    for (auto type : {TCMS::ColTransfTypeProfile, TCMS::ColTransfTypeDigitalPrinting}) {
        auto imported = TCMS_ColTransfNew(lib, type);
        if (imported && TCMS_ColTransfImportFromStream(imported, text.c_str()) == 0)
            ConvertRow(imported, InksOf(lib, "Press"));
    }
}

void UseProcess(const std::shared_ptr<TCMSLibrary>& lib) {
    auto press = TCMS_ProcDBNew(lib, "Press");
    if (press) {
        TCMS_ProcIsICCProc(press);
        TCMS_ProcGetNrInks(press);
    }
    int inks = 0, spots = 0;
    TCMSDB_ProcGetNrs(lib, "Press", &inks, &spots);
    auto strategy = TCMS_ColTransfNew(lib, TCMS::ColTransfTypeProfile, nullptr, "Press", "Screen",
                                      TCMS::Resolution{}, TCMS::BlackGeneration{},
                                      TCMS::RelativeColorimetric, 0, nullptr, nullptr);
    ConvertRow(strategy, InksOf(lib, "Press"));
}

void UseProfile(const std::shared_ptr<TCMSLibrary>& lib) {
    if (auto fuzz = TCMS_ProcDBNew(lib, "Fuzz")) {
        TCMS_ProcGetInks(fuzz);
        for (auto [src, dst] :
             {std::pair<const char*, const char*>{"Press", "Fuzz"}, {"Fuzz", "Press"}}) {
            auto strategy = TCMS_ColTransfNew(lib, TCMS::ColTransfTypeProfile, nullptr, src, dst,
                                              TCMS::Resolution{}, TCMS::BlackGeneration{},
                                              TCMS::Perceptual, 0, nullptr, nullptr);
            ConvertRow(strategy, InksOf(lib, src));
        }
    }
}

void UseLink(const std::shared_ptr<TCMSLibrary>& lib) {
    TCMS_ProcLinkDBNewProduct(lib, kProduct);
    if (auto link = TCMS_ProcLinkDBNew(lib, kProduct, "fuzz", 0, 255, 0, 255)) {
        TCMS_ProcLinkGetName(link);
        TCMS_ProcLinkMakeAcceleration(link, true);
    }
    auto strategy =
        TCMS_ColTransfNew(lib, TCMS::ColTransfTypeProfile, kProduct, "fuzz", TCMS::Resolution{});
    ConvertRow(strategy, InksOf(lib, "Press"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Database database;
    if (size == 0)
        return 0;
    const int kind = data[0] % 5;
    const char* const files[] = {"inkbooks/fuzz.json", "strategies/fuzz.json",
                                 "processes/Press.json", "links/stored/fuzz.json",
                                 "processes/Fuzz"};
    const std::string file = database.File(files[kind]);
    rdzfuzz::WriteBytes(file, data + 1, size - 1);
    if (kind == 3) {
        rdzfuzz::WriteBytes(database.LinkFile("fuzz.icc"), database.LinkProfile().data(),
                            database.LinkProfile().size());
    }

    rdz::cms::SetDatabaseFolder(database.Folder());
    TCMS_Init();
    std::shared_ptr<TCMSLibrary> lib = TCMS_GetLib();
    rdz::cms::LoadErrors();
    switch (kind) {
        case 0:
            TIDB_GetInk(lib, "fuzz", "Orange");
#ifdef RDZ_FUZZ_HAVE_TOOLS
            rdz::formats::InkBooks::Load(database.Folder()).FindByName("Orange", false);
#endif
            break;
        case 1:
            UseStrategy(lib, std::string(reinterpret_cast<const char*>(data + 1), size - 1));
            break;
        case 2:
            UseProcess(lib);
            break;
        case 3:
            UseLink(lib);
            rdz::cms::LinkErrors();
            break;
        default:
            UseProfile(lib);
            break;
    }
    lib.reset();
    TCMS_End();

    rdzfuzz::Remove(file);
    if (kind == 3)
        rdzfuzz::Remove(database.LinkFile("fuzz.icc"));
    return 0;
}
