#include "platform/cms/LinkStore.h"

#include <lcms2.h>
#ifdef _WIN32
#include "platform/cms/WindowsFileCalls.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/cms/Fingerprint.h"
#include "platform/cms/LcmsHandles.h"
#include "platform/cms/LinkData.h"
#include "platform/cms/Messages.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TProc.h"
#include "platform/files/FileSet.h"

namespace fs = std::filesystem;

namespace rdz::cms {

namespace {

constexpr std::uintmax_t kMaxJsonSize = 4u * 1024u * 1024u;
constexpr std::uintmax_t kMaxIccSize = 256u * 1024u * 1024u;

/// A lock on a product folder's ".lock" file, shared or exclusive, held for
/// the object's lifetime. It works between programs and between threads.
class FolderLock {
  public:
    FolderLock(const fs::path& folder, bool exclusive) {
        // The system's own form of the name: wide on Windows.
        const fs::path path = folder / ".lock";
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0 && !exclusive)
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);  // a read-only database
        if (fd_ < 0)
            return;
        int result;
        do {
            result = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
        } while (result != 0 && errno == EINTR);
        held_ = result == 0;
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);  // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool Held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

/// Writes `size` bytes to a new temporary file for `target` and flushes it
/// to disk. Renaming it onto `target` then replaces the old file at once:
/// `target` is either the old file or the whole new one, never a part.
bool WriteTemporary(const fs::path& target, const void* data, std::size_t size,
                    files::TemporaryFile* file, std::string* fault) {
    std::string reason;
    if (!file->Create(target.string(), files::PermissionsFor(target.string()), &reason)) {
        *fault = "cannot create a temporary file: " + reason;
        return false;
    }
    if (!file->Write(data, size, &reason)) {
        *fault = "cannot write: " + reason;
        return false;
    }
    if (!file->Sync(&reason)) {
        *fault = reason;
        return false;
    }
    if (!file->CloseDescriptor(&reason)) {
        *fault = "cannot close: " + reason;
        return false;
    }
    return true;
}

/// How long a program waits for another one's claim on computing a link.
constexpr std::chrono::seconds kClaimWait{120};

bool ReadFile(const fs::path& path, std::uintmax_t limit, std::vector<unsigned char>* bytes,
              std::string* fault) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        *fault = "cannot read " + path.filename().string() + ": " + ec.message();
        return false;
    }
    if (size > limit) {
        *fault = path.filename().string() + " is too large";
        return false;
    }
#ifdef _WIN32
    std::FILE* file = ::_wfopen(path.c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (file == nullptr) {
        *fault = SystemError(("cannot open " + path.filename().string()).c_str());
        return false;
    }
    bytes->resize(static_cast<std::size_t>(size));
    const std::size_t read = size == 0 ? 0 : std::fread(bytes->data(), 1, bytes->size(), file);
    std::fclose(file);
    if (read != bytes->size()) {
        *fault = "cannot read " + path.filename().string() + " whole";
        return false;
    }
    return true;
}

bool StampOf(const fs::path& path, std::filesystem::file_time_type* time, std::uintmax_t* size) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    *time = fs::last_write_time(path, ec);
    if (ec)
        return false;
    *size = fs::file_size(path, ec);
    return !ec;
}

json::Json ProcessJson(const TProc& process, const std::vector<std::string>& channels) {
    return json::Json{{"process", process.Name()},
                      {"profile", Fingerprint(process.ProfileBytes())},
                      {"channels", channels}};
}

/// Reads one side of a stored link: the process, which must still be the one
/// the link was made from, and the channel names.
std::shared_ptr<const TProc> ReadProcess(const json::Json& top, const char* key,
                                         const TCMSLibrary& lib,
                                         std::vector<std::string>* channels) {
    const json::Json* side = json::Find(top, key);
    if (side == nullptr)
        json::Fail(key, "required");
    json::CheckObject(*side, key, {"process", "profile", "channels"});
    const std::string name = json::Name(*side, "process", key, true);
    const std::string profile = json::String(*side, "profile", key, true);
    std::shared_ptr<const TProc> process = lib.FindProcess(name);
    if (!process)
        json::Fail(key, "made from process '" + name + "', which the database does not hold");
    if (Fingerprint(process->ProfileBytes()) != profile)
        json::Fail(key,
                   "process '" + name + "' has a different profile than when the link was made");
    const json::Json* names = json::FindArray(*side, "channels", key);
    channels->clear();
    for (std::size_t i = 0; names != nullptr && i < names->size(); ++i) {
        const std::string where = json::Element(json::Field(key, "channels"), i);
        if (!(*names)[i].is_string())
            json::Fail(where, "expected a text");
        channels->push_back((*names)[i].get<std::string>());
    }
    if (static_cast<int>(channels->size()) != process->NrChannels()) {
        json::Fail(json::Field(key, "channels"),
                   "expected " + std::to_string(process->NrChannels()) + " channel names");
    }
    return process;
}

}  // namespace

std::string LinkNameFault(const std::string& name) {
    if (name.empty())
        return "the name is empty";
    if (name.size() > 250)
        return "the name is longer than 250 bytes";
    if (name[0] == '.')
        return "the name starts with '.'";
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return "the name holds a control character";
        if (c == '/' || c == '\\')
            return "the name holds a '/' or '\\'";
    }
    return std::string();
}

LinkStore::LinkStore(std::string folder, std::string readOnlyFolder) : folder_(std::move(folder)) {
    if (!readOnlyFolder.empty() && readOnlyFolder != folder_)
        readOnly_ = std::make_unique<LinkStore>(std::move(readOnlyFolder));
}

LinkStore::~LinkStore() = default;

fs::path LinkStore::ProductFolder(const std::string& product) const {
    return fs::path(folder_) / "links" / product;
}

void LinkStore::Report(const std::string& product, const std::string& file,
                       const std::string& fault) {
    errors_.push_back("links/" + product + "/" + file + ": " + fault);
    rdz::cms::Say(MessageLevel::Warning, "CMS link store " + folder_ + ": " + errors_.back());
}

std::vector<std::string> LinkStore::Errors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

int LinkStore::AddProduct(const std::string& product) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!LinkNameFault(product).empty())
        return -1;
    if (OnDisk()) {
        std::error_code ec;
        fs::create_directories(ProductFolder(product), ec);
        if (ec) {
            Report(product, "", "cannot create the folder: " + ec.message());
            return -1;
        }
        // Temporary files of a program killed while it stored a link.
        files::RemoveStaleTemporaries(ProductFolder(product).string());
    }
    products_.insert(product);
    return 0;
}

std::shared_ptr<LinkData> LinkStore::FindByName(const TCMSLibrary& lib, const std::string& product,
                                                const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::shared_ptr<LinkData> link = FindByNameLocked(lib, product, name))
            return link;
    }
    return readOnly_ ? readOnly_->FindByName(lib, product, name) : nullptr;
}

std::shared_ptr<LinkData> LinkStore::FindByNameLocked(const TCMSLibrary& lib,
                                                      const std::string& product,
                                                      const std::string& name) {
    if (!LinkNameFault(product).empty() || !LinkNameFault(name).empty())
        return nullptr;
    const Key key{product, name};
    const auto saved = saved_.find(key);
    if (saved != saved_.end())
        return saved->second.link;
    if (!OnDisk())
        return nullptr;
    Stamp stamp;
    if (!StampOf(ProductFolder(product) / (name + ".json"), &stamp.time, &stamp.size)) {
        loaded_.erase(key);
        return nullptr;  // simply not there
    }
    const auto known = loaded_.find(key);
    if (known != loaded_.end() && known->second.stamp == stamp)
        return known->second.link;  // a damaged one was reported when first read
    std::string fault;
    std::shared_ptr<LinkData> link = Load(lib, product, name, &fault);
    if (!link)
        Report(product, name + ".json", fault);
    loaded_[key] = Loaded{stamp, link};
    return link;
}

std::shared_ptr<LinkData> LinkStore::Load(const TCMSLibrary& lib, const std::string& product,
                                          const std::string& name, std::string* fault) {
    const fs::path folder = ProductFolder(product);
    const FolderLock lock(folder, false);
    std::vector<unsigned char> text;
    std::vector<unsigned char> icc;
    if (!ReadFile(folder / (name + ".json"), kMaxJsonSize, &text, fault))
        return nullptr;
    LinkData::Properties p;
    try {
        const json::Json top = json::Parse(std::string(text.begin(), text.end()));
        json::CheckObject(top, "",
                          {"name", "product", "kind", "source", "destination", "renderingIntent",
                           "grid", "key", "parameters", "icc"});
        const std::string kind = json::String(top, "kind", "", true);
        if (kind == KindName(LinkKind::ColourSpace)) {
            p.kind = LinkKind::ColourSpace;
        } else if (kind == KindName(LinkKind::InkSaving)) {
            p.kind = LinkKind::InkSaving;
        } else {
            json::Fail("kind", "expected \"colour-space\" or \"ink-saving\"");
        }
        p.source = ReadProcess(top, "source", lib, &p.sourceChannels);
        p.destination = ReadProcess(top, "destination", lib, &p.destinationChannels);
        p.renderingIntent = json::Choice(top, "renderingIntent", "", -1, {2, 3, 4, 5});
        if (p.renderingIntent < 0)
            json::Fail("renderingIntent", "required");
        p.grid = static_cast<int>(json::Number(top, "grid", "", 0, 2, 255));
        const json::Json* key = json::Find(top, "key");
        if (key == nullptr || !key->is_object())
            json::Fail("key", "expected an object");
        p.key = *key;
        if (const json::Json* parameters = json::Find(top, "parameters"))
            p.parameters = *parameters;
        const json::Json* file = json::Find(top, "icc");
        if (file == nullptr)
            json::Fail("icc", "required");
        json::CheckObject(*file, "icc", {"size", "fingerprint"});
        if (json::Find(*file, "size") == nullptr)
            json::Fail("icc.size", "required");
        const double size = json::Number(*file, "size", "icc", -1, 0, kMaxIccSize);
        const std::string fingerprint = json::String(*file, "fingerprint", "icc", true);
        if (!ReadFile(folder / (name + ".icc"), kMaxIccSize, &icc, fault))
            return nullptr;
        if (static_cast<double>(icc.size()) != size || Fingerprint(icc) != fingerprint) {
            *fault = name +
                     ".icc does not match its JSON (size or fingerprint): the two files were "
                     "not written together";
            return nullptr;
        }
    } catch (const json::JsonFault& jsonFault) {
        *fault = jsonFault.what();
        return nullptr;
    }
    ProfileHandle profile(
        cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
    if (!profile || cmsGetDeviceClass(profile.get()) != cmsSigLinkClass ||
        static_cast<std::uint32_t>(cmsGetColorSpace(profile.get())) != p.source->ColorSpace() ||
        static_cast<std::uint32_t>(cmsGetPCS(profile.get())) != p.destination->ColorSpace()) {
        *fault = name + ".icc is not a device link between the colour spaces of its processes";
        return nullptr;
    }
    p.icc = std::move(icc);
    counters::LinkLoaded();
    return std::make_shared<LinkData>(std::move(p));
}

std::shared_ptr<LinkData> LinkStore::FindByKey(const TCMSLibrary& lib, const std::string& product,
                                               const json::Json& key, std::string* name) {
    if (std::shared_ptr<LinkData> link = FindOwnByKey(lib, product, key, name))
        return link;
    return readOnly_ ? readOnly_->FindByKey(lib, product, key, name) : nullptr;
}

std::shared_ptr<LinkData> LinkStore::FindOwnByKey(const TCMSLibrary& lib,
                                                  const std::string& product, const json::Json& key,
                                                  std::string* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [where, saved] : saved_) {
        if (where.first == product && saved.link->Key() == key) {
            *name = where.second;
            return saved.link;
        }
    }
    if (!OnDisk() || !LinkNameFault(product).empty())
        return nullptr;
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(ProductFolder(product), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string file = it->path().filename().string();
        if (file.size() > 5 && file[0] != '.' && file.compare(file.size() - 5, 5, ".json") == 0)
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string stem = file.stem().string();
        if (!LinkNameFault(stem).empty() || saved_.count({product, stem}) != 0)
            continue;
        Stamp stamp;
        if (!StampOf(file, &stamp.time, &stamp.size))
            continue;
        const auto known = scanned_.find(file.string());
        if (known == scanned_.end() || !(known->second.stamp == stamp)) {
            // Only the key is read here; the whole link is checked when it matches.
            Scanned scanned{stamp, json::Json()};
            std::vector<unsigned char> text;
            std::string fault;
            if (ReadFile(file, kMaxJsonSize, &text, &fault)) {
                const json::Json top = json::Json::parse(text.begin(), text.end(), nullptr, false);
                if (top.is_object() && top.contains("key"))
                    scanned.key = top["key"];
            }
            scanned_[file.string()] = scanned;
        }
        if (scanned_[file.string()].key != key)
            continue;
        std::shared_ptr<LinkData> link = FindByNameLocked(lib, product, stem);
        if (link) {
            *name = stem;
            return link;
        }
    }
    return nullptr;
}

int LinkStore::Save(const std::string& product, const std::string& name,
                    std::shared_ptr<LinkData> link, bool overwrite) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!link || !LinkNameFault(product).empty() || !LinkNameFault(name).empty())
        return -1;
    const Key key{product, name};
    if (!overwrite) {
        std::error_code ec;
        if (saved_.count(key) != 0 ||
            (OnDisk() && fs::exists(ProductFolder(product) / (name + ".json"), ec))) {
            return -1;
        }
    }
    saved_[key] = Saved{std::move(link), OnDisk(), overwrite};
    return 0;
}

bool LinkStore::Write(const std::string& product, const std::string& name, const Saved& saved,
                      std::string* fault) {
    const fs::path folder = ProductFolder(product);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        *fault = "cannot create the folder: " + ec.message();
        return false;
    }
    const FolderLock lock(folder, true);
    if (!lock.Held()) {
        *fault = SystemError("cannot lock the folder");
        return false;
    }
    const fs::path jsonPath = folder / (name + ".json");
    if (!saved.overwrite && fs::exists(jsonPath, ec)) {
        *fault = "another program stored a link under this name first";
        return false;
    }
    const LinkData& link = *saved.link;
    const json::Json record{
        {"name", name},
        {"product", product},
        {"kind", KindName(link.Kind())},
        {"source", ProcessJson(*link.Source(), link.SourceChannels())},
        {"destination", ProcessJson(*link.Destination(), link.DestinationChannels())},
        {"renderingIntent", link.RenderingIntent()},
        {"grid", link.Grid()},
        {"key", link.Key()},
        {"parameters", link.Parameters()},
        {"icc", {{"size", link.Icc().size()}, {"fingerprint", link.IccFingerprint()}}},
    };
    const std::string text =
        record.dump(2, ' ', false, json::Json::error_handler_t::replace) + "\n";
    // Both files are written whole before either replaces anything, so a
    // write that fails part-way (a full disk) leaves the stored pair as it
    // was. Then the profile goes first: a JSON never names a profile that
    // is not there yet, and the JSON's size and fingerprint tell whether
    // the two were renamed together.
    files::RemoveStaleTemporaries(folder.string());
    const fs::path iccPath = folder / (name + ".icc");
    files::TemporaryFile iccTemp;
    files::TemporaryFile jsonTemp;
    if (!WriteTemporary(iccPath, link.Icc().data(), link.Icc().size(), &iccTemp, fault) ||
        !WriteTemporary(jsonPath, text.data(), text.size(), &jsonTemp, fault)) {
        return false;  // the temporary files go with their owners
    }
    std::string reason;
    if (!iccTemp.MoveIntoPlace(&reason) || !jsonTemp.MoveIntoPlace(&reason)) {
        *fault = "cannot rename into place: " + reason;
        return false;
    }
    files::SyncFolder(folder.string(), &reason);
    return true;
}

int LinkStore::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    int result = 0;
    for (auto& [key, saved] : saved_) {
        if (!saved.pending)
            continue;
        std::string fault;
        const bool written = Write(key.first, key.second, saved, &fault);
        // Whether or not it could be written, the link no longer holds up
        // others who wait to compute it.
        DropHeldClaims(saved.link.get());
        if (written) {
            saved.pending = false;
        } else {
            Report(key.first, key.second + ".json", fault);
            // A name another program took first stays this program's own link;
            // writing it again would overwrite theirs.
            if (!saved.overwrite)
                saved.pending = false;
            result = -1;
        }
    }
    DropHeldClaims(nullptr);
    return result;
}

// ---------------------------------------------------------------------------
// Claims on computing a link

namespace {

/// What is locked for the claims on `folder` between programs: the folder
/// itself, or on Windows, where a folder cannot be opened as a file, its
/// ".claim" file (".lock" is the readers' and writers' lock, held while a
/// claim is).
int OpenForClaims(const std::string& folder) {
#ifdef _WIN32
    const fs::path claim = fs::path(folder) / ".claim";
    return ::open(claim.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
#else
    return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

/// The claims of this program, by product folder: one table for every store
/// (a program may open the same database twice), since the folder locks
/// behind them belong to the program, not to a store.
class Claims {
  public:
    static Claims& Instance() {
        static Claims* claims = new Claims();
        return *claims;
    }

    /// The program's claim on `folder`; false when it could not be had by
    /// `deadline`.
    bool Take(const std::string& folder, std::chrono::steady_clock::time_point deadline) {
        const std::thread::id me = std::this_thread::get_id();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            State& state = states_[folder];
            if (state.count > 0 && state.owner == me) {
                ++state.count;
                return true;
            }
            if (!free_.wait_until(lock, deadline, [&] { return states_[folder].count == 0; }))
                return false;
            states_[folder].owner = me;
            states_[folder].count = 1;
        }
        // Other programs: the lock on the folder, asked for again and again
        // so that one that stopped holding it cannot stop this one for ever.
        int fd = OpenForClaims(folder);
        auto pause = std::chrono::milliseconds(2);
        while (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                fd = -1;
                break;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd < 0) {
            ReleaseLocked(folder);
            return false;
        }
        states_[folder].fd = fd;
        return true;
    }

    void Release(const std::string& folder) {
        std::lock_guard<std::mutex> lock(mutex_);
        ReleaseLocked(folder);
    }

  private:
    struct State {
        std::thread::id owner;
        int count = 0;
        int fd = -1;  // the folder, locked
    };

    void ReleaseLocked(const std::string& folder) {
        State& state = states_[folder];
        if (state.count > 0 && --state.count == 0) {
            if (state.fd >= 0)
                ::close(state.fd);  // releases the lock
            state.fd = -1;
            state.owner = std::thread::id();
            free_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable free_;
    std::map<std::string, State> states_;
};

/// A claim held; ends it when it goes.
class LinkClaim {
  public:
    explicit LinkClaim(std::string folder) : folder_(std::move(folder)) {}
    ~LinkClaim() { Claims::Instance().Release(folder_); }
    LinkClaim(const LinkClaim&) = delete;
    LinkClaim& operator=(const LinkClaim&) = delete;

  private:
    std::string folder_;
};

}  // namespace

std::shared_ptr<void> LinkStore::Claim(const std::string& product) {
    if (!OnDisk() || !LinkNameFault(product).empty())
        return nullptr;
    const fs::path folder = ProductFolder(product);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string key = folder.lexically_normal().string();
    if (!Claims::Instance().Take(key, std::chrono::steady_clock::now() + kClaimWait))
        return nullptr;
    return std::make_shared<LinkClaim>(key);
}

void LinkStore::KeepClaimUntilStored(std::shared_ptr<void> claim,
                                     const std::shared_ptr<LinkData>& link) {
    if (!claim || !link)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    DropHeldClaims(nullptr);
    heldClaims_.push_back(HeldClaim{link, std::move(claim)});
}

void LinkStore::DropHeldClaims(const LinkData* link) {
    for (auto it = heldClaims_.begin(); it != heldClaims_.end();) {
        const std::shared_ptr<LinkData> held = it->link.lock();
        if (!held || (link != nullptr && held.get() == link)) {
            it = heldClaims_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace rdz::cms
