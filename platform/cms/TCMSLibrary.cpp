#include "platform/cms/TCMSLibrary.h"

#include "platform/cms/Names.h"
#include "platform/cms/TInk.h"
#include "platform/cms/TProc.h"

using rdz::cms::FoldCase;

const TCMSLibrary::InkBook* TCMSLibrary::FindBook(const std::string& name) const {
    const auto found = bookIndex_.find(FoldCase(name));
    return found == bookIndex_.end() ? nullptr : &books_[found->second];
}

std::shared_ptr<TInk> TCMSLibrary::FindInk(const std::string& book, const std::string& ink) const {
    const auto found = inks_.find({FoldCase(book), FoldCase(ink)});
    return found == inks_.end() ? nullptr : found->second;
}

std::shared_ptr<TInk> TCMSLibrary::FindProcessInk(const std::string& ink) const {
    const auto found = processInks_.find(FoldCase(ink));
    return found == processInks_.end() ? nullptr : found->second;
}

std::shared_ptr<const TProc> TCMSLibrary::FindProcess(const std::string& name) const {
    const auto found = processes_.find(FoldCase(name));
    return found == processes_.end() ? nullptr : found->second;
}

const rdz::cms::StrategyDef* TCMSLibrary::FindStrategy(const std::string& name) const {
    const auto found = strategies_.find(FoldCase(name));
    return found == strategies_.end() ? nullptr : &found->second;
}

std::vector<std::string> TCMSLibrary::ProcessNames() const {
    std::vector<std::string> names;
    for (const auto& entry : processes_)
        names.push_back(entry.second->Name());
    return names;
}

std::vector<std::string> TCMSLibrary::StrategyNames() const {
    std::vector<std::string> names;
    for (const auto& entry : strategies_)
        names.push_back(entry.second.name);
    return names;
}

bool TCMSLibrary::AddBook(InkBook book, std::string* error) {
    const std::string key = FoldCase(book.name);
    if (bookIndex_.count(key) != 0) {
        *error = "ink book '" + book.name + "' is already defined by another file";
        return false;
    }
    for (const auto& ink : book.inks) {
        const std::string name = FoldCase(ink->Name());
        inks_[{key, name}] = ink;
        if (ink->IsProcess())
            processInks_.emplace(name, ink);  // the first book (load order) keeps it
    }
    bookIndex_[key] = books_.size();
    books_.push_back(std::move(book));
    return true;
}

bool TCMSLibrary::AddProcess(std::shared_ptr<const TProc> process, std::string* error) {
    const std::string key = FoldCase(process->Name());
    if (processes_.count(key) != 0) {
        *error = "process '" + process->Name() + "' is already defined (names ignore case)";
        return false;
    }
    processes_[key] = std::move(process);
    return true;
}

bool TCMSLibrary::AddStrategy(rdz::cms::StrategyDef strategy, std::string* error) {
    const std::string key = FoldCase(strategy.name);
    if (strategies_.count(key) != 0) {
        *error = "Color Strategy '" + strategy.name + "' is already defined (names ignore case)";
        return false;
    }
    strategies_[key] = std::move(strategy);
    return true;
}
