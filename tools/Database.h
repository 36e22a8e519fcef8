// The CMS database of one run: which folder (--cms, $RODADAZERIVO_CMS or the
// default database installed with the program), where the device links it
// computes are kept, and what it holds.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TCMSLibrary;
namespace rdz::cms {
struct StrategyDef;
}

namespace rdz::tools {

/// Which database a run uses, and where its computed links go.
struct DatabaseChoice {
    /// The folder; empty when there is none (the CMS library's empty
    /// database).
    std::string folder;
    /// "--cms", "$RODADAZERIVO_CMS" or "default" (the folder is the default
    /// database, or empty when none is installed).
    std::string origin;
    /// The folder under whose links/ the computed device links are kept when
    /// the database cannot take them (the default database, a folder the
    /// program cannot write); empty: the database's own links/.
    std::string linkStore;
};

/// The default database: share/rodadazerivo/cmsdb beside the installed
/// program (../share/rodadazerivo/cmsdb from its folder), or the example
/// database of the build tree (../examples/cmsdb). Empty when neither is
/// there.
std::string DefaultDatabaseFolder();

/// The user's link store: $XDG_CACHE_HOME/rodadazerivo, else
/// ~/.cache/rodadazerivo; empty when neither variable is set.
std::string UserLinkStoreFolder();

/// Chooses the database: `cmsOption` (--cms) when given, else
/// $RODADAZERIVO_CMS when set, else the default. The default database and
/// folders the program cannot write get the user's link store.
DatabaseChoice ChooseDatabase(const std::string& cmsOption);

/// "the CMS database DIR", "the default CMS database DIR", or what the empty
/// database is, for messages.
std::string DescribeDatabase(const DatabaseChoice& choice);

/// The chosen database, open in the CMS library for as long as this object
/// lives (so that processes added for the run stay in it). One at a time.
class Database {
  public:
    /// Checks that the folder exists and opens it. Throws InputError.
    explicit Database(DatabaseChoice choice);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const DatabaseChoice& Choice() const { return choice_; }
    std::string Describe() const { return DescribeDatabase(choice_); }

    std::vector<std::string> ProcessNames() const;
    std::vector<std::string> StrategyNames() const;
    const rdz::cms::StrategyDef* FindStrategy(const std::string& name) const;
    /// The process of that name (ignoring case) as the database names it;
    /// empty when there is none.
    std::string ProcessName(const std::string& name) const;
    /// The ICC profile of a process; empty when there is no such process.
    std::vector<unsigned char> ProcessProfile(const std::string& name) const;

    /// For --source and --destination: the name of a process of the
    /// database, or the path of an ICC file, which then becomes a process of
    /// this run, named by its file name (or by the path, when the database
    /// has another process of that name). Returns the process name; empty
    /// when `nameOrPath` is neither. Throws InputError for a file that is no
    /// usable ICC profile.
    std::string UseProcess(const std::string& nameOrPath);

    std::shared_ptr<TCMSLibrary> Library() const;

  private:
    DatabaseChoice choice_;
};

/// The database of a command, opened when it is first needed. A conversion
/// opens it once its input is read: the order of the document's ink handles,
/// which some conversions follow, then does not depend on how much memory
/// opening the database used (which varies with its folder's name).
class DatabaseSession {
  public:
    /// Checks that the chosen folder exists. Throws InputError.
    explicit DatabaseSession(DatabaseChoice choice);
    const DatabaseChoice& Choice() const { return choice_; }
    std::string Describe() const { return DescribeDatabase(choice_); }
    /// The open database (opened by the first call).
    Database& Open();

  private:
    DatabaseChoice choice_;
    std::unique_ptr<Database> database_;
};

}  // namespace rdz::tools
