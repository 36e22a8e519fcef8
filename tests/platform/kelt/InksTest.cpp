#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/kelt_db.h"
#include "platform/kelt/InkArena.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using rdz::kelt::InkSetup;

std::vector<inkt_t*> DatabaseInks() {
    std::vector<inkt_t*> out;
    list_iterator_t it;
    IDB_all_inks(&it);
    void* item = nullptr;
    while (SOL_next_item(&it, &item)) {
        out.push_back(static_cast<inkt_t*>(item));
    }
    return out;
}

InkSetup Spot(const char* book, const char* name) {
    InkSetup setup;
    setup.book = book;
    setup.name = name;
    return setup;
}

TEST(KeltInks, MergeFindsStoredInkIgnoringCaseAndFreesTheNewcomer) {
    rdz::kelt::ScopedDocument doc;
    std::vector<inkt_t*> cmyk = rdz::kelt::AddCmykInks(doc, "Process");
    inkbook_t* book = IDB_get_inkbook("PROCESS");
    ASSERT_NE(nullptr, book);
    EXPECT_STREQ("Process", IDB_get_inkbook_name(book));

    inkt_t* ink = INK_create(book, "mAGENTA");
    inkt_t* merged = IDB_merge_ink(&ink);  // ASan reports it if the newcomer leaks
    EXPECT_EQ(cmyk[1], merged);
    EXPECT_EQ(cmyk[1], ink);
    EXPECT_EQ(4, IDB_count_inks());

    // Merging a stored ink again gives it back untouched.
    EXPECT_EQ(cmyk[1], IDB_merge_ink(&ink));
    EXPECT_EQ(4, IDB_count_inks());
}

TEST(KeltInks, MergeAppendsUnknownInksAndTellsBooksApart) {
    rdz::kelt::ScopedDocument doc;
    inkt_t* bookCyan = rdz::kelt::AddInk(doc, Spot("Process", "Cyan"));
    inkt_t* loose = INK_create(nullptr, "Cyan");
    EXPECT_EQ(loose, IDB_merge_ink(&loose));  // no book is not the book "Process"
    inkt_t* other = INK_create(IDB_get_inkbook("Process"), "Orange");
    EXPECT_EQ(other, IDB_merge_ink(&other));
    EXPECT_EQ((std::vector<inkt_t*>{bookCyan, loose, other}), DatabaseInks());

    const char* bookName = nullptr;
    const char* name = nullptr;
    INK_get_group_and_name(loose, &bookName, &name);
    EXPECT_STREQ("", bookName);
    EXPECT_STREQ("Cyan", name);
    INK_get_group_and_name(other, &bookName, &name);
    EXPECT_STREQ("Process", bookName);
    EXPECT_STREQ("Orange", name);
    EXPECT_EQ(nullptr, IDB_get_inkbook("Unknown"));
}

TEST(KeltInks, MergeWithoutCurrentDocumentLeavesTheInkToTheCaller) {
    ASSERT_EQ(nullptr, TheDoc);
    inkt_t* ink = INK_create(nullptr, "Green");
    EXPECT_EQ(nullptr, IDB_merge_ink(&ink));
    EXPECT_EQ(0, IDB_count_inks());
    ASSERT_NE(nullptr, ink);
    EXPECT_STREQ("Green", ink->name);
    rdz::kelt::FreeInk(ink);
}

TEST(KeltInks, KindsAndProcessName) {
    rdz::kelt::ScopedDocument doc;
    InkSetup setup = Spot("Book", "Varnish");
    setup.kinds = rdz::kelt::InkVarnish | rdz::kelt::InkOpaque | rdz::kelt::InkTechnical;
    inkt_t* varnish = rdz::kelt::AddInk(doc, setup);
    inkt_t* black = rdz::kelt::AddCmykInks(doc, "Process", "ISO Coated")[3];
    setup = Spot("", "Mystery");
    setup.kinds = rdz::kelt::InkUnregistered;
    inkt_t* mystery = rdz::kelt::AddInk(doc, setup);

    EXPECT_TRUE(INK_is_varnish(varnish) && INK_is_opaque(varnish) && INK_is_technical(varnish));
    EXPECT_FALSE(INK_is_unregistered(varnish));
    EXPECT_TRUE(INK_is_unregistered(mystery));
    EXPECT_FALSE(INK_is_opaque(mystery));

    const char* process = "untouched";
    EXPECT_EQ(1, INK_is_process(black, &process));
    EXPECT_STREQ("ISO Coated", process);
    EXPECT_EQ(0, INK_is_process(varnish, &process));
    EXPECT_EQ(nullptr, process);
    EXPECT_EQ(0, INK_is_process(varnish, nullptr));
}

TEST(KeltInks, RecordFieldsAndSetters) {
    rdz::kelt::ScopedDocument doc;
    InkSetup setup = Spot("Book", "Red");
    setup.rgb[0] = 0.9f;
    setup.rgb[1] = 0.1f;
    setup.rgb[2] = 0.2f;
    setup.hasCromValues = true;
    setup.cromValues[0] = 0.25f;
    setup.printingMethod = "Offset";
    setup.inheritedValue = 2.5;
    setup.attribute = 7;
    inkt_t* red = rdz::kelt::AddInk(doc, setup);
    EXPECT_EQ(red, rdz::kelt::AddInk(doc, Spot("BOOK", "red")));  // no duplicate

    float rgb[3] = {};
    INK_get_RGB(red, rgb);
    EXPECT_FLOAT_EQ(0.1f, rgb[1]);
    EXPECT_EQ(1, red->hasCromValues);
    EXPECT_FLOAT_EQ(0.25f, red->cromValues[0]);
    EXPECT_STREQ("Offset", red->printingmethod);
    EXPECT_DOUBLE_EQ(2.5, red->inheritedValue);
    EXPECT_EQ(7, red->attribute);

    inkt_t* fresh = INK_create(red->book, "New");
    EXPECT_EQ(nullptr, fresh->printingmethod);
    INK_set_printingmethod(fresh, red->printingmethod);
    INK_set_attribute(fresh, red->attribute);
    EXPECT_STREQ("Offset", fresh->printingmethod);
    EXPECT_NE(red->printingmethod, fresh->printingmethod);  // its own copy
    EXPECT_EQ(7, fresh->attribute);
    INK_set_printingmethod(fresh, nullptr);
    EXPECT_EQ(nullptr, fresh->printingmethod);
    rdz::kelt::FreeInk(fresh);
}

TEST(KeltInks, PrintWritesOneLine) {
    rdz::kelt::ScopedDocument doc;
    inkt_t* cyan = rdz::kelt::AddCmykInks(doc)[0];
    rdz::kelt::SetInkKinds(cyan, rdz::kelt::InkProcess | rdz::kelt::InkOpaque, "CMYK");
    rdz::kelt::SetInkRGB(cyan, 0.0f, 0.5f, 1.0f);
    rdz::kelt::RecordingPrintSink print;
    INK_print(cyan);
    EXPECT_EQ("ink \"Process\" \"Cyan\" kinds=process,opaque rgb=0.000,0.500,1.000\n",
              print.text());
}

TEST(KeltInks, PrintKeepsAnInkOnOneLineWhateverItsNameHolds) {
    rdz::kelt::ScopedDocument doc;
    inkt_t* ink = rdz::kelt::AddInk(doc, Spot("Book\tA", "My\nSpot"));
    rdz::kelt::RecordingPrintSink print;
    INK_print(ink);
    EXPECT_EQ("ink \"Book\\tA\" \"My\\nSpot\" kinds=- rgb=0.000,0.000,0.000\n", print.text());
    // The database keeps the name as it was given.
    const char* book = nullptr;
    const char* name = nullptr;
    INK_get_group_and_name(ink, &book, &name);
    EXPECT_STREQ("Book\tA", book);
    EXPECT_STREQ("My\nSpot", name);
}

TEST(KeltInks, ManyInksAreFoundByBookAndNameIgnoringCase) {
    // Found through an index: a document of 40,000 inks took most of a
    // minute while each ink was compared with every earlier one.
    rdz::kelt::ScopedDocument doc;
    constexpr int kInks = 20000;
    std::vector<inkt_t*> added;
    for (int i = 0; i < kInks; ++i) {
        const std::string book = "Book " + std::to_string(i % 7);
        added.push_back(
            rdz::kelt::AddInk(doc, Spot(book.c_str(), ("Spot " + std::to_string(i)).c_str())));
    }
    EXPECT_EQ(kInks, IDB_count_inks());
    EXPECT_EQ(added, DatabaseInks()) << "database order is the order of adding";
    for (int i : {0, 1, 6999, kInks - 1}) {
        const std::string book = "BOOK " + std::to_string(i % 7);
        inkt_t* newcomer =
            INK_create(IDB_get_inkbook(book.c_str()), ("sPOT " + std::to_string(i)).c_str());
        EXPECT_EQ(added[static_cast<std::size_t>(i)], IDB_merge_ink(&newcomer)) << i;
        EXPECT_EQ(added[static_cast<std::size_t>(i)], newcomer);
        // The same name in another book, and no book at all, are other inks.
        const std::string other = "Book " + std::to_string((i + 1) % 7);
        EXPECT_EQ(
            added[static_cast<std::size_t>(i)],
            rdz::kelt::AddInk(doc, Spot(book.c_str(), ("Spot " + std::to_string(i)).c_str())));
        EXPECT_NE(
            added[static_cast<std::size_t>(i)],
            rdz::kelt::AddInk(doc, Spot(other.c_str(), ("Spot " + std::to_string(i)).c_str())));
    }
    inkt_t* loose = INK_create(nullptr, "spot 5");
    EXPECT_EQ(loose, IDB_merge_ink(&loose));
    EXPECT_EQ(kInks + 5, IDB_count_inks());
    EXPECT_EQ(nullptr, IDB_get_inkbook("Book 7"));
    EXPECT_STREQ("Book 3", IDB_get_inkbook_name(IDB_get_inkbook("bOOK 3")));
}

}  // namespace

TEST(KeltInks, HandlesAscendInTheOrderInksAreCreated) {
    if (!rdz::kelt::InkArenaAvailable()) {
        GTEST_SKIP() << "ink records come from the general heap in this build";
    }
    // Whatever else the process allocates and frees in between, and after a
    // whole document with its inks is gone, a new ink's handle is above
    // every earlier one, so that inks ordered by handle are in creation
    // order.
    std::vector<std::uintptr_t> handles;
    std::vector<std::unique_ptr<std::string>> noise;
    for (int round = 0; round < 3; ++round) {
        rdz::kelt::ScopedDocument doc;
        for (int i = 0; i < 400; ++i) {
            noise.push_back(
                std::make_unique<std::string>(static_cast<std::size_t>(i % 97 + 40), 'x'));
            if (i % 3 == 0) {
                noise.erase(noise.begin());
            }
            inkt_t* ink =
                i % 2 == 0
                    ? rdz::kelt::AddInk(
                          doc,
                          Spot("Book",
                               ("Spot " + std::to_string(round) + "/" + std::to_string(i)).c_str()))
                    : INK_create(nullptr, "Loose");
            handles.push_back(reinterpret_cast<std::uintptr_t>(ink));
            if (i % 2 == 1) {
                rdz::kelt::FreeInk(ink);  // a loose ink that never joined a database
            }
        }
    }
    for (std::size_t i = 1; i < handles.size(); ++i) {
        ASSERT_LT(handles[i - 1], handles[i]) << "ink " << i;
    }
}
