// The one interface every file format implements: a format reads a file into
// the document database and writes the converted document back into a file
// of the same format. A new format is one folder under formats/ with one
// DocumentFormat, listed in AllFormats().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/Document.h"

namespace rdz::formats {

class InkBooks;
class OutputFiles;
class Progress;

/// What a reader may use besides the file itself.
struct ReadSettings {
    /// The ink books of the CMS database: what is known about an ink that a
    /// file names only by its name. Never null.
    const InkBooks* books = nullptr;
    /// Progress of long work; may be null.
    Progress* progress = nullptr;
    /// The ICC profile the conversion takes the input's process colours to
    /// be in (empty when the method names none), with its name: a file that
    /// embeds another profile is worth a warning.
    std::vector<unsigned char> sourceProfile;
    std::string sourceProfileName;
    /// Whether files that a document names (a JSON document's pixel files)
    /// may lie outside the document's folder: absolute paths, paths through
    /// "..", and links leading out are refused unless this is set
    /// (--allow-outside-paths).
    bool allowOutsidePaths = false;
};

/// The colour space of the converted document, for the file's own record of
/// it (a TIFF's embedded ICC profile, a PDF's output intent).
struct OutputProfile {
    /// False when the conversion kept the colour space: the file's own
    /// profile stays as it was.
    bool changed = false;
    /// When changed: the ICC profile of the new colour space, and its name.
    /// Empty when unknown: the old profile is then removed, never kept
    /// where it is no longer true.
    std::vector<unsigned char> icc;
    std::string name;
};

/// What a writer may use besides the document.
struct WriteSettings {
    /// Progress of long work; may be null.
    Progress* progress = nullptr;
    /// Compression of written pixels: "" keeps the input's, else "none",
    /// "lzw", "deflate" or "zstd".
    std::string compression;
    /// Level of the compression of written pixels, 1 (fastest) to 9
    /// (smallest), for the compressions that have levels (Deflate, ZSTD,
    /// LZMA); 0: the writer's own fast level.
    int compressionLevel = 0;
    OutputProfile profile;
};

/// Something of a file that no conversion changes because it is not made
/// of inks (an RGB colour of a PDF), for the report.
struct LeftAlone {
    std::string what;   // "colour", "image", "shading"
    std::string kind;   // its colour space: "DeviceRGB", "Lab", ...
    std::string where;  // the place in the file: "page 3", "form 12 0 R (page 3)"
};

/// A document read from a file, and what the format remembered to write it
/// back. The document becomes TheDoc when it is read and is destroyed with
/// this object.
class FormatDocument {
  public:
    virtual ~FormatDocument() = default;
    FormatDocument(const FormatDocument&) = delete;
    FormatDocument& operator=(const FormatDocument&) = delete;

    document_object_t* Document() const { return document_.get(); }
    /// Every file the input consists of (the file itself first): none of
    /// them may be an output.
    const std::vector<std::string>& Files() const { return files_; }

    /// Called once before the conversion with what Write will get: a format
    /// that streams (converted rows written as they are made) opens its
    /// output here. The default does nothing.
    virtual void PrepareOutput(const std::string& output, const std::string& temporary,
                               OutputFiles& outputs, const WriteSettings& settings) {
        (void)output, (void)temporary, (void)outputs, (void)settings;
    }

    /// Writes the (converted) document to `output`, whose temporary file
    /// `temporary` was reserved in `outputs`; further files (pixel files
    /// beside a document file) are reserved in `outputs` too, so that the
    /// caller commits them all at once. Throws WorkError when a file cannot
    /// be written; nothing is committed then.
    virtual void Write(const std::string& output, const std::string& temporary,
                       OutputFiles& outputs, const WriteSettings& settings) = 0;

    /// What the file holds that the conversion leaves as it is, in the order
    /// it was read. The default: nothing.
    virtual std::vector<LeftAlone> LeftAloneParts() const { return {}; }

  protected:
    FormatDocument() = default;
    DocumentPtr document_;
    std::vector<std::string> files_;
};

class DocumentFormat {
  public:
    virtual ~DocumentFormat() = default;

    /// The format as messages name it ("a document (.json)").
    virtual const char* Description() const = 0;
    /// Whether `path`, whose first bytes are `head` (fewer when the file is
    /// shorter, empty when it cannot be read), is a file of this format. The
    /// content decides; the extension only where the content says nothing.
    virtual bool Recognises(const std::string& path, const std::string& head) const = 0;
    /// Whether an output named `path` is written in this format (by its
    /// extension).
    virtual bool NamesOutput(const std::string& path) const = 0;
    /// Throws UsageError when a file of this format cannot be written under
    /// the name `path`. Called before any work.
    virtual void CheckOutputName(const std::string& path) const { (void)path; }
    /// Reads `path`; the document becomes TheDoc. Throws InputError naming
    /// the file and, where it can, the place in it.
    virtual std::unique_ptr<FormatDocument> Read(const std::string& path,
                                                 const ReadSettings& settings) const = 0;
};

/// Every format the program reads and writes, in the order they are tried.
const std::vector<const DocumentFormat*>& AllFormats();

/// The format of the file `path` by its content (its first bytes), or null
/// when no format recognises it.
const DocumentFormat* FormatOfFile(const std::string& path);

}  // namespace rdz::formats
