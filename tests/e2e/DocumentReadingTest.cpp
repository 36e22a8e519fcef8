// Reading document files as a stream: fields that appear twice and NUL
// characters refused with their place, pixel files that must be regular
// files inside the document's folder, the top level in any order, and the
// writer's layout.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "formats/Errors.h"
#include "formats/OutputFiles.h"
#include "formats/json/DocumentFile.h"
#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

namespace fs = std::filesystem;

class DocumentReading : public testing::Test {
  protected:
    CliRun Convert(const std::string& input) {
        return RunCli({"convert", "--cms", ExampleCmsDb(), "--strategy", "ISO Coated", input, "-o",
                       scratch_.Path("out.json")});
    }

    /// The error of reading `path` in this program, "" when it reads.
    static std::string ReadError(const std::string& path, bool allowOutside = false) {
        rdz::formats::DocumentReadOptions options;
        options.allowOutsidePaths = allowOutside;
        try {
            rdz::formats::ReadDocumentFile(path, options);
        } catch (const rdz::formats::InputError& error) {
            return error.what();
        }
        return "";
    }

    /// `document` written as `<name>.json` in the scratch folder; its text,
    /// the pixel files' names made "X.<image>.tif".
    std::string WriteBack(document_object_t* document, const std::string& name) {
        rdz::formats::OutputFiles outputs;
        const std::string path = scratch_.Path(name + ".json");
        const std::string temporary = outputs.Add(path);
        rdz::formats::WriteDocumentFile(document, path, temporary, outputs, {}, nullptr);
        outputs.Commit();
        std::string text = ReadText(path);
        for (std::size_t at; (at = text.find("\"" + name + ".")) != std::string::npos;) {
            text.replace(at + 1, name.size(), "X");
        }
        return text;
    }

    Scratch scratch_;
};

TEST_F(DocumentReading, RepeatedFieldsAndNulCharactersAreRefusedWithThePlace) {
    struct Case {
        const char* text;
        const char* message;  // after "ERROR: <file>"
    };
    const Case cases[] = {
        {R"({ "inks": [ { "id": "c", "name": "Cyan", "name": "Magenta" } ] })",
         ": /inks/0/name: a field may appear once in an object; this one is repeated"},
        {R"({ "inks": [], "paints": [], "inks": [] })",
         ": /inks: a field may appear once in an object; this one is repeated"},
        {R"({ "components": [ { "name": "a", "children": [], "name": "b" } ] })",
         ": /components/0/name: a field may appear once in an object; this one is repeated"},
        {R"({ "paints": [ { "id": "p", "solid": [] } ], "components": [ { "children": [
             { "type": "path", "attributes": [ { "paint": "p", "paint": "p" } ] } ] } ] })",
         ": /components/0/children/0/attributes/0/paint: a field may appear once in an object; "
         "this one is repeated"},
        {R"({ "paints": [ { "id": "p", "solid": [ { "ink": "c", "fraction": 1, "fraction": 0 } ] } ] })",
         ": /paints/0/solid/0/fraction: a field may appear once in an object; this one is "
         "repeated"},
        {R"({ "inks": [ { "id": "c", "name": "Cy\u0000an" } ] })",
         ": /inks/0/name: a text must not hold a NUL character (\\u0000)"},
        {R"({ "name": "Page\u0000 1" })",
         ": /name: a text must not hold a NUL character (\\u0000)"},
        {R"({ "inks": [ { "id": "c", "na\u0000me": "Cyan" } ] })",
         ": /inks/0/na\\u0000me: a field name must not hold a NUL character (\\u0000)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteText(scratch_.Path("bad.json"), c.text);
        const CliRun run = Convert(scratch_.Path("bad.json"));
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_NE(std::string::npos,
                  run.err.find("ERROR: " + scratch_.Path("bad.json") + c.message + "\n"))
            << run.err;
        EXPECT_FALSE(Exists(scratch_.Path("out.json")));
    }
}

TEST_F(DocumentReading, PixelFilesAreRegularFilesInsideTheDocumentsFolder) {
    CopyFolder(ExamplesDir() + "/sample", scratch_.Path("in"));
    CopyFolder(ExamplesDir() + "/sample", scratch_.Path("elsewhere"));
    const std::string sample = ReadText(scratch_.Path("in/sample.json"));
    const auto document = [&](const std::string& pixels) {
        std::string text = sample;
        text.replace(text.find("\"sample.photo.tif\""), 18, "\"" + pixels + "\"");
        WriteText(scratch_.Path("in/doc.json"), text);
        return scratch_.Path("in/doc.json");
    };
    const std::string place = ": /images/0/pixels: \"";

    // Inside the folder, below it too.
    fs::create_directory(scratch_.Path("in/img"));
    fs::copy(scratch_.Path("in/sample.photo.tif"), scratch_.Path("in/img/photo.tif"));
    EXPECT_EQ(0, Convert(document("img/photo.tif")).status);
    EXPECT_EQ(0, Convert(document("img/../sample.photo.tif")).status);

    struct Case {
        std::string pixels;
        std::string message;
    };
    fs::create_symlink(scratch_.Path("elsewhere/sample.photo.tif"), scratch_.Path("in/link.tif"));
    const std::string absolute = scratch_.Path("elsewhere/sample.photo.tif");
    const Case outside[] = {
        {absolute, place + absolute +
                       "\" is an absolute path; pixel files are read from the "
                       "document's folder (--allow-outside-paths allows others)"},
        {"../elsewhere/sample.photo.tif",
         place + "../elsewhere/sample.photo.tif\" leaves the document's folder; pixel files are "
                 "read from inside it (--allow-outside-paths allows others)"},
        {"link.tif", place + "link.tif\" leads out of the document's folder (to " +
                         fs::canonical(absolute).string() + ")"},
    };
    for (const Case& c : outside) {
        SCOPED_TRACE(c.pixels);
        const CliRun run = Convert(document(c.pixels));
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_NE(std::string::npos,
                  run.err.find("ERROR: " + scratch_.Path("in/doc.json") + c.message))
            << run.err;
        // The reader's setting lets them be read.
        EXPECT_EQ("", ReadError(scratch_.Path("in/doc.json"), true));
    }

    // Not regular files: refused at once, whatever the setting. A pipe would
    // otherwise be waited on for ever: should the reader open it, the guard
    // below gives it an end after 30 s and the test fails on the message.
    fs::create_directory(scratch_.Path("in/folder.tif"));
    ASSERT_EQ(0, mkfifo(scratch_.Path("in/pipe.tif").c_str(), 0600));
    std::atomic<bool> done{false};
    std::thread guard([&] {
        for (int i = 0; i < 3000 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const int fd = open(scratch_.Path("in/pipe.tif").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            close(fd);
        }
    });
    const Case special[] = {
        {"folder.tif",
         place + scratch_.Path("in/folder.tif") + "\" is a folder, not a pixel file (a TIFF file)"},
        {"pipe.tif", place + scratch_.Path("in/pipe.tif") +
                         "\" is a pipe (FIFO), not a pixel file (a TIFF file)"},
    };
    for (const Case& c : special) {
        SCOPED_TRACE(c.pixels);
        const CliRun run = Convert(document(c.pixels));
        EXPECT_EQ(2, run.status) << run.err;
        EXPECT_NE(std::string::npos,
                  run.err.find("ERROR: " + scratch_.Path("in/doc.json") + c.message))
            << run.err;
        EXPECT_NE("", ReadError(scratch_.Path("in/doc.json"), true));
    }
    done = true;
    guard.join();
}

TEST_F(DocumentReading, TheTopLevelInAnyOrderGivesTheSameDocument) {
    CopyFolder(ExamplesDir() + "/sample", scratch_.Path("in"));
    using Ordered = nlohmann::ordered_json;
    const Ordered sample = Ordered::parse(ReadText(scratch_.Path("in/sample.json")));
    rdz::formats::LoadedDocumentFile expected =
        rdz::formats::ReadDocumentFile(scratch_.Path("in/sample.json"), nullptr);
    const std::string expectedText = WriteBack(expected.document.get(), "expected");

    // Components first, the inks last: every array refers to one that comes
    // later in the file.
    Ordered reversed = Ordered::object();
    for (auto it = sample.rbegin(); it != sample.rend(); ++it) {
        reversed[it.key()] = it.value();
    }
    WriteText(scratch_.Path("in/reversed.json"), reversed.dump(1));
    rdz::formats::LoadedDocumentFile read =
        rdz::formats::ReadDocumentFile(scratch_.Path("in/reversed.json"), nullptr);
    EXPECT_EQ(expectedText, WriteBack(read.document.get(), "reversed"));

    // Objects whose children come before their type.
    Ordered late = sample;
    Ordered& page = late["components"][0];
    Ordered moved = Ordered::object();
    moved["children"] = page["children"];
    for (auto& child : moved["children"]) {
        Ordered type = child["type"];
        child.erase("type");
        child["type"] = type;
    }
    moved["name"] = page["name"];
    page = moved;
    WriteText(scratch_.Path("in/late.json"), late.dump(2));
    read = rdz::formats::ReadDocumentFile(scratch_.Path("in/late.json"), nullptr);
    EXPECT_EQ(expectedText, WriteBack(read.document.get(), "late"));

    // Only a top-level object's type must come before its children (it is
    // made, as a component, when they begin).
    page["type"] = "layer";
    WriteText(scratch_.Path("in/late.json"), late.dump(2));
    EXPECT_EQ(scratch_.Path("in/late.json") +
                  ": /components/0/type: the type of a top-level object must come before its "
                  "children",
              ReadError(scratch_.Path("in/late.json")));
}

TEST_F(DocumentReading, WrittenFilesAreLaidOutAsATreeDumpWithTwoSpaces) {
    CopyFolder(ExamplesDir() + "/sample", scratch_.Path("in"));
    rdz::formats::LoadedDocumentFile sample =
        rdz::formats::ReadDocumentFile(scratch_.Path("in/sample.json"), nullptr);
    // Names that need escapes, and bytes that are not UTF-8 (replaced).
    LAY_set_name(sample.document.get(), "Tab\there \"quoted\" \xff\xfe end");
    const std::string text = WriteBack(sample.document.get(), "written");
    using Ordered = nlohmann::ordered_json;
    EXPECT_EQ(Ordered::parse(text).dump(2, ' ', false, Ordered::error_handler_t::replace) + "\n",
              text);
    EXPECT_NE(std::string::npos,
              text.find("\"name\": \"Tab\\there \\\"quoted\\\" \xEF\xBF\xBD\xEF\xBF\xBD end\""));
}

}  // namespace
}  // namespace rdz::e2e
