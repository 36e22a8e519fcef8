#include "platform/cms/LinkStore.h"

#include <fcntl.h>
#include <lcms2.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/cms/Fingerprint.h"
#include "platform/cms/LcmsHandles.h"
#include "platform/cms/LinkData.h"
#include "platform/cms/TCMSLibrary.h"
#include "platform/cms/TProc.h"

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
        const std::string path = (folder / ".lock").string();
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

/// Writes `size` bytes to a new temporary file beside `target` and flushes
/// it to disk; returns its path, or an empty path (and no file) after a
/// failure. Renaming it onto `target` then replaces the old file at once:
/// `target` is either the old file or the whole new one, never a part.
fs::path WriteTemporary(const fs::path& target, const void* data, std::size_t size,
                        std::string* fault) {
    static std::atomic<unsigned> counter{0};
    const fs::path temp =
        target.parent_path() / ("." + target.filename().string() + ".tmp." +
                                std::to_string(::getpid()) + "." + std::to_string(++counter));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *fault = SystemError("cannot create a temporary file");
        return fs::path();
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        const ssize_t written = ::write(fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        ok = written > 0;
        if (ok)
            done += static_cast<std::size_t>(written);
    }
    if (!ok)
        *fault = SystemError("cannot write");
    if (ok && ::fsync(fd) != 0) {
        *fault = SystemError("cannot flush to disk");
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        *fault = SystemError("cannot close");
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fs::path();
    }
    return temp;
}

/// Makes the renames in `folder` durable.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

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
    std::FILE* file = std::fopen(path.c_str(), "rb");
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
    std::fprintf(stderr, "CMS link store %s: %s\n", folder_.c_str(), errors_.back().c_str());
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
    const fs::path iccPath = folder / (name + ".icc");
    const fs::path iccTemp = WriteTemporary(iccPath, link.Icc().data(), link.Icc().size(), fault);
    if (iccTemp.empty())
        return false;
    const fs::path jsonTemp = WriteTemporary(jsonPath, text.data(), text.size(), fault);
    if (jsonTemp.empty()) {
        ::unlink(iccTemp.c_str());
        return false;
    }
    if (::rename(iccTemp.c_str(), iccPath.c_str()) != 0) {
        *fault = SystemError("cannot rename into place");
        ::unlink(iccTemp.c_str());
        ::unlink(jsonTemp.c_str());
        return false;
    }
    if (::rename(jsonTemp.c_str(), jsonPath.c_str()) != 0) {
        *fault = SystemError("cannot rename into place");
        ::unlink(jsonTemp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

int LinkStore::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    int result = 0;
    for (auto& [key, saved] : saved_) {
        if (!saved.pending)
            continue;
        std::string fault;
        if (Write(key.first, key.second, saved, &fault)) {
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
    return result;
}

}  // namespace rdz::cms
