// The program's view of the ink books of a CMS database folder (TIFF ink
// names and preview colours): look-ups ignore case and answer as a walk
// through the books in file-name order would, however large the books.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "formats/InkBooks.h"
#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {
namespace {

TEST(InkBooks, LookUpsIgnoreCaseAndPreferTheFirstInFileOrder) {
    Scratch scratch;
    std::filesystem::create_directories(scratch.Path("inkbooks"));
    WriteText(scratch.Path("inkbooks/a.json"), R"({"book": "First", "inks": [
        {"name": "Orange", "lab": [60, 50, 70]},
        {"name": "Cyan", "lab": [55, -37, -50]}]})");
    WriteText(scratch.Path("inkbooks/b.json"), R"({"book": "Second", "inks": [
        {"name": "ORANGE", "lab": [61, 51, 71], "process": true},
        {"name": "cyan", "lab": [56, -36, -49], "process": true},
        {"name": "cyan", "lab": [1, 1, 1], "process": true}]})");
    const formats::InkBooks books = formats::InkBooks::Load(scratch.Folder());

    const formats::BookInk* orange = books.Find("second", "orange");
    ASSERT_NE(nullptr, orange);
    EXPECT_EQ("Second", orange->book);
    EXPECT_EQ(61.0, orange->lab[0]);
    EXPECT_EQ(nullptr, books.Find("Third", "Orange"));
    EXPECT_EQ(nullptr, books.Find("First", "Magenta"));
    // The first of a name in the same book wins.
    EXPECT_EQ(56.0, books.Find("SECOND", "Cyan")->lab[0]);

    // By name alone: the first of the kind asked for, else the first of any kind.
    EXPECT_EQ("First", books.FindByName("cyan", false)->book);
    EXPECT_EQ("Second", books.FindByName("CYAN", true)->book);
    EXPECT_EQ(56.0, books.FindByName("Cyan", true)->lab[0]);
    WriteText(scratch.Path("inkbooks/c.json"),
              R"({"book": "Third", "inks": [{"name": "Gold", "lab": [70, 6, 40]}]})");
    const formats::InkBooks more = formats::InkBooks::Load(scratch.Folder());
    EXPECT_EQ("Third", more.FindByName("gold", true)->book) << "no process ink of that name";
    EXPECT_EQ(nullptr, more.FindByName("Silver", false));
}

TEST(InkBooks, LargeBookFindsItsLastInk) {
    Scratch scratch;
    std::filesystem::create_directories(scratch.Path("inkbooks"));
    std::string book = R"({"book": "Big", "inks": [)";
    constexpr int kInks = 20000;
    for (int i = 0; i < kInks; ++i) {
        book += (i == 0 ? "" : ",") + std::string(R"({"name": "Ink )") + std::to_string(i) +
                R"(", "lab": [50, 0, )" + std::to_string(i % 100) + "]}";
    }
    WriteText(scratch.Path("inkbooks/big.json"), book + "]}");
    const formats::InkBooks books = formats::InkBooks::Load(scratch.Folder());
    const formats::BookInk* last = books.Find("BIG", "ink " + std::to_string(kInks - 1));
    ASSERT_NE(nullptr, last);
    EXPECT_EQ(99.0, last->lab[2]);
    EXPECT_EQ(last, books.FindByName("INK " + std::to_string(kInks - 1), true));
}

}  // namespace
}  // namespace rdz::e2e
