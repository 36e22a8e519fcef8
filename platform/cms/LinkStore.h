// The link store of a CMS database: device links kept under
//   <db>/links/<product>/<name>.icc    the ICC device-link profile
//   <db>/links/<product>/<name>.json   what it was made from (README.md)
// or, for the database held in memory, in memory only.
//
// Saving puts a link in the store at once (for this program) and marks it
// for writing; flushing writes the marked links. Each file is written to a
// temporary file in the same folder (platform/files: removed when the
// program is interrupted, and by the next program when it was killed),
// flushed to disk and renamed over its name, the profile before its JSON,
// while an exclusive lock on the product folder's ".lock" keeps other
// programs from writing or reading the pair at the same time (readers take a
// shared lock).
//
// Computing a link is claimed per product (Claim): programs (and threads)
// that would compute a link of the same product at the same time take turns,
// and each looks in the store again once it has its turn, so that
// concurrent runs with the same settings compute and store each link once.
// The claim is a lock on the product folder itself (no file of its own),
// held from before the second look until the link is written (or dropped
// unwritten); a program waits at most two minutes for it. Where folders
// cannot be locked (some network file systems) programs compute on their
// own, as before. The JSON records the size and
// fingerprint of its profile, so a pair that does not belong together (an
// interrupted overwrite) is found out and reported, never used. Links are read
// when asked for, so links that another program stored are found too.
//
// Thread-safe: every call takes the store's lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/cms/JsonReader.h"

class TCMSLibrary;

namespace rdz::cms {

class LinkData;

/// Empty when `name` can name a link or product (and so a file): 1 to 250
/// bytes, no control characters, no '/' or '\', not starting with '.';
/// otherwise the fault.
std::string LinkNameFault(const std::string& name);

class LinkStore {
  public:
    /// `folder`: the database folder; empty: links are kept in memory only.
    /// `readOnlyFolder`: a database folder whose stored links are found after
    /// this store's own, and never written.
    explicit LinkStore(std::string folder, std::string readOnlyFolder = std::string());
    ~LinkStore();
    LinkStore(const LinkStore&) = delete;
    LinkStore& operator=(const LinkStore&) = delete;

    /// Makes the product known and creates its folder. 0, or -1 for an
    /// unusable name or a folder that cannot be made.
    int AddProduct(const std::string& product);

    /// The link stored as `name` (names are case-sensitive) of `product`: one
    /// saved by this program first, then the folder's. Null when there is
    /// none, and when the stored one is damaged or was made from a process
    /// the database no longer holds as it was (the fault is recorded).
    std::shared_ptr<LinkData> FindByName(const TCMSLibrary& lib, const std::string& product,
                                         const std::string& name);

    /// A stored link of `product` made from the same request (equal key), its
    /// name in `*name`; null when there is none.
    std::shared_ptr<LinkData> FindByKey(const TCMSLibrary& lib, const std::string& product,
                                        const json::Json& key, std::string* name);

    /// Stores `link` as `name` of `product` and marks it for writing. -1 for
    /// an unusable name or product, or a name already taken when `overwrite`
    /// is false.
    int Save(const std::string& product, const std::string& name, std::shared_ptr<LinkData> link,
             bool overwrite);

    /// Writes the links saved since the last flush. 0 when every one was
    /// written; -1 otherwise (the rest are still written; a link that could
    /// not be written stays marked, and its fault is recorded).
    int Flush();

    /// Faults found, "links/<product>/<file>: <fault>".
    std::vector<std::string> Errors() const;

    /// Waits until no other thread of this program and no other program
    /// computes a link of `product`, and claims that right; a thread that
    /// holds the claim may claim it again. Null for a store in memory, and
    /// when the claim could not be had within two minutes (the caller then
    /// computes anyway). The claim ends when the result goes, unless it is
    /// handed to KeepClaimUntilStored.
    std::shared_ptr<void> Claim(const std::string& product);
    /// Keeps `claim` until `link` has been through a Flush (written or not),
    /// or is no longer used by anyone.
    void KeepClaimUntilStored(std::shared_ptr<void> claim, const std::shared_ptr<LinkData>& link);

  private:
    using Key = std::pair<std::string, std::string>;  // product, name
    struct Saved {
        std::shared_ptr<LinkData> link;
        bool pending = false;
        bool overwrite = true;
    };
    struct Stamp {
        std::filesystem::file_time_type time{};
        std::uintmax_t size = 0;
        bool operator==(const Stamp& other) const {
            return time == other.time && size == other.size;
        }
    };
    struct Loaded {
        Stamp stamp;
        std::shared_ptr<LinkData> link;
    };
    struct Scanned {
        Stamp stamp;
        json::Json key;  // null when the file could not be read
    };

    bool OnDisk() const { return !folder_.empty(); }
    std::filesystem::path ProductFolder(const std::string& product) const;
    std::shared_ptr<LinkData> FindOwnByKey(const TCMSLibrary& lib, const std::string& product,
                                           const json::Json& key, std::string* name);
    std::shared_ptr<LinkData> FindByNameLocked(const TCMSLibrary& lib, const std::string& product,
                                               const std::string& name);
    std::shared_ptr<LinkData> Load(const TCMSLibrary& lib, const std::string& product,
                                   const std::string& name, std::string* fault);
    bool Write(const std::string& product, const std::string& name, const Saved& saved,
               std::string* fault);
    void Report(const std::string& product, const std::string& file, const std::string& fault);

    struct HeldClaim {
        std::weak_ptr<LinkData> link;
        std::shared_ptr<void> claim;
    };
    /// Drops the held claims of `link` (none when null), and those whose
    /// link is gone. Called with mutex_ held.
    void DropHeldClaims(const LinkData* link);

    mutable std::mutex mutex_;
    std::string folder_;
    std::set<std::string> products_;
    std::map<Key, Saved> saved_;
    std::map<Key, Loaded> loaded_;
    std::map<std::string, Scanned> scanned_;  // by JSON file path
    std::vector<std::string> errors_;
    std::vector<HeldClaim> heldClaims_;
    std::unique_ptr<LinkStore> readOnly_;  // null when there is none
};

}  // namespace rdz::cms
