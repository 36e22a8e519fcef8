// Controls of the CMS library stand-in that the real library does not have:
// which database folder TCMS_Init opens, how often it was opened and ended,
// what went wrong while loading, and a few views that tests and tools use.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TColTransf;

namespace rdz::cms {

/// Chooses the database folder that the next TCMS_Init opens. An empty path
/// (the default) means an empty database held in memory. While the library
/// is open, the next TCMS_Init reads the new folder; objects taken from the
/// old database keep working.
void SetDatabaseFolder(const std::string& folder);
std::string DatabaseFolder();

/// Chooses where the database that the next TCMS_Init opens keeps the device
/// links it stores: under `<folder>/links/` instead of the database folder's
/// own `links/` (for a database the program cannot write). Links are looked
/// up there first, then among the database folder's stored links, which are
/// never written. An empty path (the default) keeps the links in the
/// database folder. Like SetDatabaseFolder, a change is read at the next
/// TCMS_Init.
void SetLinkStoreFolder(const std::string& folder);
std::string LinkStoreFolder();

/// Number of TCMS_Init calls, of TCMS_End calls that matched an open
/// TCMS_Init, and of initialisations still open. An unmatched TCMS_End
/// returns -1 and is not counted.
int InitCount();
int EndCount();
int OpenCount();
/// Sets the init and end counts back to 0 (the open count is kept).
void ResetCounts();

/// Faults found when the current database was loaded, one text each, in the
/// form "<file relative to the folder>: <field>: <fault>". They are also
/// sent as warnings to the message sink ("CMS database <folder>: <fault>")
/// when the database is loaded.
std::vector<std::string> LoadErrors();

/// The library's own messages: faults of the database files found while
/// loading (Warning: the file is left out), of the link store (Warning), of a
/// strategy's conversion (Warning) and refused device-link requests (Error).
/// Each reaches the message sink as one line, control characters escaped as
/// the host's message service does ("\n", "\t", "\xNN"). The default sink
/// writes "<LEVEL>: <text>" to standard error, one line per message in one
/// write; the sink may be called from any thread.
enum class MessageLevel { Info, Warning, Error };
/// "INFO", "WARNING" or "ERROR".
const char* MessageLevelWord(MessageLevel level);
using MessageSinkFunction = std::function<void(MessageLevel, const std::string&)>;
/// Installs `sink` and returns the one it replaces; an empty function
/// installs the default sink.
MessageSinkFunction SetMessageSink(MessageSinkFunction sink);

/// Kind of an output channel (the integer of TCMS::InkInfo from
/// TCMS_ColTransfGetNamesOfOutputInks).
enum OutputKind : int {
    kProcessChannel = 0,  // a channel of the destination profile
    kProcessSpotInk = 1,  // a spot ink of a destination process of our own kind
    kExtraOutputInk = 2,  // an extra output ink for advanced items with values
    kKeptInk = 3,         // an input ink the strategy keeps, passed through
};

/// The strategy as JSON text, in the format TCMS_ColTransfImportFromStream
/// reads; empty for a null strategy.
std::string ExportStrategy(const std::shared_ptr<TColTransf>& strategy);

/// What the last TCMS_ColTransfInitConvert (or import) of the strategy had to
/// report: input inks it cannot convert, refused arguments, import faults.
std::vector<std::string> ConvertReport(const std::shared_ptr<TColTransf>& strategy);

/// What the device-link functions have done since the program started (or
/// the last ResetLinkCounts): link tables computed, stored links read from a
/// database folder, and links prepared for conversion (acceleration).
struct LinkCounts {
    int computed = 0;
    int loaded = 0;
    int accelerated = 0;
};
LinkCounts GetLinkCounts();
void ResetLinkCounts();

/// Faults found in the link store of the open database (a damaged or
/// mismatched stored link, a link that cannot be written), one text each, of
/// the form "links/<product>/<file>: <fault>". They are also sent as
/// warnings to the message sink. Empty while no database is open.
std::vector<std::string> LinkErrors();

}  // namespace rdz::cms
