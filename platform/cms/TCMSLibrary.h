// The CMS database once opened: ink books, processes and Color Strategies,
// read from a database folder (see README.md) or empty.
//
// Ink books, processes and strategies never change after loading; TCMS_Init
// opens a new library when the database folder changes, and objects taken from
// an old one keep it alive for as long as they need it. The link store
// (LinkStore.h) is the one part that changes: links are saved into it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/cms/LinkStore.h"
#include "platform/cms/StrategyDef.h"

class TInk;
class TProc;

class TCMSLibrary {
  public:
    struct InkBook {
        std::string name;
        std::string displayName;  // empty: the name
        std::vector<std::shared_ptr<TInk>> inks;
    };

    explicit TCMSLibrary(std::string folder)
        : folder_(folder), links_(std::make_unique<rdz::cms::LinkStore>(std::move(folder))) {}

    /// The folder it was read from; empty for the empty in-memory database.
    const std::string& Folder() const { return folder_; }

    // Look-ups; names are compared ignoring ASCII case. Null when absent.
    const InkBook* FindBook(const std::string& name) const;
    std::shared_ptr<TInk> FindInk(const std::string& book, const std::string& ink) const;
    /// The first process ink of that name in any book (books in load order).
    std::shared_ptr<TInk> FindProcessInk(const std::string& ink) const;
    std::shared_ptr<const TProc> FindProcess(const std::string& name) const;
    const rdz::cms::StrategyDef* FindStrategy(const std::string& name) const;
    /// The stored device links (thread-safe, changes as links are saved).
    rdz::cms::LinkStore& Links() const { return *links_; }
    /// Keeps the links this library stores under `<folder>/links/`, and reads
    /// the database folder's own stored links after those (never writing
    /// them). Called once, before the library is used.
    void UseLinkStore(const std::string& folder) {
        links_ = std::make_unique<rdz::cms::LinkStore>(folder, folder_);
    }

    const std::vector<InkBook>& Books() const { return books_; }
    std::vector<std::string> ProcessNames() const;
    std::vector<std::string> StrategyNames() const;

    // Filling, used while loading. Each returns false with a reason when the
    // name is already taken (ignoring case); nothing is added then.
    bool AddBook(InkBook book, std::string* error);
    bool AddProcess(std::shared_ptr<const TProc> process, std::string* error);
    bool AddStrategy(rdz::cms::StrategyDef strategy, std::string* error);

  private:
    std::string folder_;
    std::vector<InkBook> books_;
    std::map<std::string, std::size_t> bookIndex_;  // folded book name -> books_
    std::map<std::pair<std::string, std::string>, std::shared_ptr<TInk>> inks_;
    std::map<std::string, std::shared_ptr<TInk>> processInks_;  // folded name -> first
    std::map<std::string, std::shared_ptr<const TProc>> processes_;
    std::map<std::string, rdz::cms::StrategyDef> strategies_;
    std::unique_ptr<rdz::cms::LinkStore> links_;
};
