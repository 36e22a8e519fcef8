// What `convert` and `preview` share: checking the method against the CMS
// database, loading the input, running the conversion and telling why it
// failed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/DocumentFormat.h"
#include "formats/Errors.h"
#include "formats/InkBooks.h"
#include "tools/CommandLine.h"

namespace rdz::tools {

class Console;
class Database;
struct DatabaseChoice;
class ProgressBar;
struct ConversionReport;

/// A conversion that failed or could not be set up (exit status 1). `Cause`
/// says why in the user's terms (which strategy, process, database folder or
/// file); it is empty when the converter's own message before it says so.
/// what() is the line that follows it ("The ... conversion failed; no output
/// was written.").
class ConversionFailed : public rdz::formats::WorkError {
  public:
    ConversionFailed(std::string cause, const std::string& summary)
        : WorkError(summary), cause_(std::move(cause)) {}
    const std::string& Cause() const { return cause_; }

  private:
    std::string cause_;
};

/// "The <method> conversion failed; no output was written."
std::string FailedLine(Method method);

/// Checks, before any input is read, the files the method reads besides the
/// input: the device-link file must be one the conversion can use. Throws
/// InputError.
void CheckMethodFiles(const ConversionRequest& request);

/// Checks that the method can be set up with `database`, and puts the
/// request's names in the database's terms: the strategy is there (and of
/// the type asked for); --source and --destination name processes, or ICC
/// files, which become processes of this run; the process the device-link
/// conversion maps onto is there. Throws ConversionFailed, or InputError for
/// a file that cannot serve as a process.
void PrepareMethod(ConversionRequest& request, Database& database);

/// The format of the input file, by its content. Throws InputError when
/// the file cannot be read or no format recognises it.
const rdz::formats::DocumentFormat& InputFormat(const std::string& input);

/// Loads `input` in `format`; the document becomes TheDoc. Throws InputError.
std::unique_ptr<rdz::formats::FormatDocument> LoadInput(const rdz::formats::DocumentFormat& format,
                                                        const std::string& input,
                                                        const ConversionRequest& request,
                                                        const DatabaseChoice& database,
                                                        const rdz::formats::InkBooks& books,
                                                        ProgressBar* progress);

/// Throws UsageError when `output` is one of the input's files.
void CheckOutputIsNotInput(const rdz::formats::FormatDocument& input, const std::string& output);

/// Checks what only the document tells: the colour space that
/// --use-document-profile takes. Throws ConversionFailed.
void CheckDocument(const ConversionRequest& request, const Database& database,
                   document_object_t* document);

/// What the writer does with the file's own record of its colour space after
/// this request's conversion.
rdz::formats::OutputProfile OutputProfileOf(const ConversionRequest& request,
                                            const Database& database);

/// Converts `document` with the request's method: the inks named by
/// --exception kept, progress shown, a WARNING for every technical or varnish
/// ink that will now print, and the document's colour space named after a
/// colour-space conversion. Fills `report` (may be null) as far as it got.
/// Throws WorkError when the method is not built in, ConversionFailed when
/// the conversion fails or declines to set up.
void RunConversion(document_object_t* document, ConversionRequest& request, Database& database,
                   Console& console, ConversionReport* report);

/// The number of image threads for one conversion (--threads, else every
/// core shared among `jobs` parallel conversions).
int ImageThreads(const ConversionRequest& request, int jobs);

/// The number of processor cores (at least 1).
int CoreCount();

/// The canonical form of a path that may not exist yet.
std::string CanonicalPath(const std::string& path);

}  // namespace rdz::tools
