// Temporary files: names that tell their owner and fit a file name, and
// removal of those registered while they are still open.
#include <gtest/gtest.h>

#include "platform/files/Temporaries.h"
#include "tests/platform/files/FilesTestSupport.h"

using namespace filestest;

namespace {

bool Utf8Whole(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

TEST(Temporaries, NamesTellTheOwnerAndFitAFileName) {
    Scratch scratch;
    rdz::files::TemporaryFile file;
    std::string error;
    ASSERT_TRUE(file.Create(scratch.Path("final.json"), 0644, &error)) << error;
    const std::string name = fs::path(file.Path()).filename().string();
    EXPECT_EQ(0u, name.find(".final.json.")) << name;
    rdz::files::TemporaryOwner owner;
    ASSERT_TRUE(rdz::files::ParseTemporaryName(name, &owner)) << name;
    EXPECT_EQ(ThisProcess(), owner.pid);
    EXPECT_EQ(rdz::files::HostTag(), owner.host);
#ifndef _WIN32
    EXPECT_EQ(0644u, Mode(file.Path()));
#endif

    rdz::files::TemporaryFile longer;
    ASSERT_TRUE(longer.Create(scratch.Path(std::string(250, 'n') + ".json"), 0600, &error))
        << error;
    EXPECT_LE(fs::path(longer.Path()).filename().string().size(), 255u);

    for (const char* other : {"final.json", ".x.rdz-tmp", ".a.12@zzzzzzzz.0000aaaa.rdz-tmp",
                              ".a.0@0000aaaa.0000aaaa.rdz-tmp", ".a.12@0000aaaa.rdz-tmp",
                              ".a.12x@0000aaaa.0000aaaa.rdz-tmp"}) {
        EXPECT_FALSE(rdz::files::ParseTemporaryName(other, nullptr)) << other;
    }
}

TEST(Temporaries, LongNamesAreShortenedToAReadablePrefixAndAHash) {
    EXPECT_EQ("short.tif", rdz::files::ShortenFileName("short.tif", 200));
    const std::string name = "doc." + std::string(300, 'p') + ".tif";
    const std::string shortened = rdz::files::ShortenFileName(name, 200);
    EXPECT_EQ(200u, shortened.size());
    EXPECT_EQ(0u, shortened.find("doc.ppp"));
    EXPECT_EQ("~" + rdz::files::ShortHash(name) + ".tif", shortened.substr(187));
    EXPECT_EQ(shortened, rdz::files::ShortenFileName(name, 200));
    EXPECT_NE(shortened, rdz::files::ShortenFileName("doc." + std::string(301, 'p') + ".tif", 200));
    // Never half a character.
    std::string accents;
    for (int i = 0; i < 150; ++i) {
        accents += "\xC3\xA9";
    }
    for (std::size_t max = 180; max < 190; ++max) {
        const std::string cut = rdz::files::ShortenFileName(accents + ".tif", max);
        EXPECT_LE(cut.size(), max);
        EXPECT_TRUE(Utf8Whole(cut)) << max;
    }
}

TEST(Temporaries, RegisteredOnesAreRemovedWhileStillOpen) {
    // What an interruption does while another thread is still writing.
    Scratch scratch;
    rdz::files::TemporaryFile writing;
    rdz::files::TemporaryFile closed;
    rdz::files::TemporaryFile placed;
    std::string error;
    ASSERT_TRUE(writing.Create(scratch.Path("a.tif"), 0644, &error)) << error;
    ASSERT_TRUE(writing.Write("half", 4, &error)) << error;
    ASSERT_TRUE(closed.Create(scratch.Path("b.tif"), 0644, &error)) << error;
    ASSERT_TRUE(closed.CloseDescriptor(&error)) << error;
    ASSERT_TRUE(placed.Create(scratch.Path("c.tif"), 0644, &error)) << error;
    ASSERT_TRUE(placed.Write("whole", 5, &error)) << error;
    ASSERT_TRUE(placed.MoveIntoPlace(&error)) << error;
    EXPECT_EQ(3u, scratch.Files().size());

    rdz::files::RemoveRegisteredTemporaries();
    // Windows lets go of the name when the last handle goes.
    EXPECT_TRUE(writing.CloseDescriptor(&error)) << error;
    EXPECT_EQ(std::vector<std::string>{"c.tif"}, scratch.Files());
    EXPECT_EQ("whole", Read(scratch.Path("c.tif")));
}
