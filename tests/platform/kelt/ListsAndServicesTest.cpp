#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/LWKeltBase.h"
#include "host/REUSE.h"
#include "host/ZQAssert.h"
#include "host/kelt_container.h"
#include "host/kelt_db.h"
#include "host/zqmsg.h"
#include "platform/common/ControlCharacters.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

namespace {

using rdz::kelt::Message;
using rdz::kelt::MessageLevel;

std::vector<void*> Walk(gen_list_type* list) {
    std::vector<void*> out;
    list_iterator_t it;
    GL_all_items(list, &it);
    void* item = nullptr;
    while (GL_next_item(&it, &item)) {
        out.push_back(item);
    }
    return out;
}

TEST(KeltLists, GenericListYieldsItemsInOrderAndLeavesItemAloneAtEnd) {
    int a = 0, b = 0, c = 0;
    gen_list_type* list = GL_create();
    GL_append_after_last(list, &a);
    GL_append_after_last(list, &b);
    GL_append_after_last(list, &c);
    EXPECT_EQ(3, GL_count_items(list));
    EXPECT_EQ((std::vector<void*>{&a, &b, &c}), Walk(list));

    list_iterator_t it;
    GL_all_items(list, &it);
    void* item = nullptr;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(1, GL_next_item(&it, &item));
    }
    EXPECT_EQ(0, GL_next_item(&it, &item));
    EXPECT_EQ(&c, item);  // untouched by the exhausted call
    GL_release(list);
    GL_release(nullptr);
}

TEST(KeltLists, NullListsAreEmpty) {
    list_iterator_t it;
    void* item = &it;
    GL_all_items(nullptr, &it);
    EXPECT_EQ(0, GL_next_item(&it, &item));
    SOL_all_items(nullptr, &it);
    EXPECT_EQ(0, SOL_next_item(&it, &item));
    EXPECT_EQ(&it, item);
    EXPECT_EQ(0, GL_count_items(nullptr));
    EXPECT_EQ(0, SL_count_items(nullptr));
    EXPECT_EQ(0, SOL_count_items(nullptr));
}

TEST(KeltLists, IteratorStopsSafelyWhenListShrinksDuringWalk) {
    rdz::kelt::ScopedDocument doc;
    paint_t* paint = rdz::kelt::AddSolid(doc, {{nullptr, 0.1}, {nullptr, 0.2}, {nullptr, 0.3}});
    simple_list_t* amounts = PAI_get_solid(paint)->inkAmounts;
    list_iterator_t it;
    SL_all_items(amounts, &it);
    void* item = nullptr;
    ASSERT_EQ(1, SL_next_item(&it, &item));
    ASSERT_EQ(1, SL_next_item(&it, &item));
    SL_make_empty(amounts, IA_release);
    EXPECT_EQ(0, SL_next_item(&it, &item));
    EXPECT_EQ(0, SL_count_items(amounts));
}

std::vector<int>* g_released = nullptr;
void RecordRelease(void* item) {
    g_released->push_back(*static_cast<int*>(item));
}

TEST(KeltLists, MakeEmptyReleasesEveryItemInOrder) {
    rdz::kelt::ScopedDocument doc;
    paint_t* paint = rdz::kelt::AddSolid(doc, {});
    simple_list_t* list = PAI_get_solid(paint)->inkAmounts;
    int values[] = {3, 1, 2};
    for (int& v : values) {
        SL_append_after_last(list, &v);
    }
    std::vector<int> released;
    g_released = &released;
    SL_make_empty(list, RecordRelease);
    EXPECT_EQ((std::vector<int>{3, 1, 2}), released);
    EXPECT_EQ(0, SL_count_items(list));
    SL_make_empty(list, nullptr);  // already empty; a null release is allowed
}

TEST(KeltServices, StrcmpCiIgnoresAsciiCaseAndSortsNullFirst) {
    EXPECT_EQ(0, strcmp_ci("Process Cyan", "PROCESS cyan"));
    EXPECT_LT(strcmp_ci("abc", "ABD"), 0);
    EXPECT_GT(strcmp_ci("abcd", "ABC"), 0);
    EXPECT_EQ(0, strcmp_ci(nullptr, nullptr));
    EXPECT_LT(strcmp_ci(nullptr, ""), 0);
    EXPECT_GT(strcmp_ci("", nullptr), 0);
    // Only ASCII letters fold: 0xC4 and 0xE4 stay different bytes.
    EXPECT_NE(0, strcmp_ci("\xC4", "\xE4"));
    EXPECT_EQ(0, interactive);
}

TEST(KeltServices, MessagesAreFormattedAndRecordedInOrderWithTheirLevel) {
    rdz::kelt::RecordingMessageSink sink;
    MSG_Info("Ink %s %s is converted.", "Book", "Red");
    KELTIO_Warning("Output will be clipped at 100%%.");
    MSG_Error("code %d", 42);
    ZQ_AssertForExport(true);
    ZQ_AssertForExport(false);
    const std::vector<Message> expected = {
        {MessageLevel::Info, "Ink Book Red is converted."},
        {MessageLevel::Warning, "Output will be clipped at 100%."},
        {MessageLevel::Error, "code 42"},
        {MessageLevel::Assert, "assertion failed"},
    };
    EXPECT_EQ(expected, sink.messages());
    EXPECT_EQ(1u, sink.assertions());
    EXPECT_EQ((std::vector<std::string>{"code 42"}), sink.texts(MessageLevel::Error));
}

TEST(KeltServices, NestedRecordersRestoreTheOuterSink) {
    rdz::kelt::RecordingMessageSink outer;
    {
        rdz::kelt::RecordingMessageSink inner;
        MSG_Info("inner");
        EXPECT_EQ(1u, inner.messages().size());
    }
    MSG_Info("outer");
    ASSERT_EQ(1u, outer.messages().size());
    EXPECT_EQ("outer", outer.messages()[0].text);
}

TEST(KeltServices, DefaultSinkWritesOneLineWithLevelWordToStandardError) {
    testing::internal::CaptureStderr();
    KELTIO_Warning("The ink %s will not be converted.", "Gold");
    MSG_Error("already ends in a newline\n");
    ZQ_AssertForExport(false);
    EXPECT_EQ(
        "WARNING: The ink Gold will not be converted.\n"
        "ERROR: already ends in a newline\n"
        "ASSERT: assertion failed\n",
        testing::internal::GetCapturedStderr());
}

TEST(KeltServices, TprintfGoesThroughThePrintSink) {
    rdz::kelt::RecordingPrintSink print;
    EXPECT_EQ(9, Tprintf("==== %s\n", "END"));
    Tprintf("%d", 7);
    EXPECT_EQ("==== END\n7", print.text());
}

TEST(KeltServices, LongMessagesAreNotCut) {
    rdz::kelt::RecordingMessageSink sink;
    const std::string name(5000, 'x');
    MSG_Info("<%s>", name.c_str());
    ASSERT_EQ(1u, sink.messages().size());
    EXPECT_EQ("<" + name + ">", sink.messages()[0].text);
}

TEST(KeltServices, ControlCharactersInMessagesAreEscapedSoEachMessageStaysOneLine) {
    rdz::kelt::RecordingMessageSink sink;
    // A name that tries to print a message line of its own.
    MSG_Info("Ink %s will be converted.", "x\nINFO: Wrote /etc/shadow");
    KELTIO_Warning("tab\there, return\r, escape\x1b[2J, bell\a, delete\x7f, C1\xc2\x9b.");
    MSG_Error("%s", "ends in a newline\n");
    // Left alone: backslashes (paths), other UTF-8 and bytes that are not UTF-8.
    MSG_Error("C:\\new\\table \xc3\xa9 \xff\xfe");
    const std::vector<Message> expected = {
        {MessageLevel::Info, "Ink x\\nINFO: Wrote /etc/shadow will be converted."},
        {MessageLevel::Warning,
         "tab\\there, return\\r, escape\\x1B[2J, bell\\x07, delete\\x7F, C1\\xC2\\x9B."},
        {MessageLevel::Error, "ends in a newline"},
        {MessageLevel::Error, "C:\\new\\table \xc3\xa9 \xff\xfe"},
    };
    EXPECT_EQ(expected, sink.messages());

    testing::internal::CaptureStderr();
    {
        // The default sink, with the recorder out of the way.
        const rdz::kelt::MessageSinkFunction recorder = rdz::kelt::SetMessageSink(nullptr);
        MSG_Info("Ink %s will be converted.", "x\nINFO: Wrote /etc/shadow");
        rdz::kelt::SetMessageSink(recorder);
    }
    EXPECT_EQ("INFO: Ink x\\nINFO: Wrote /etc/shadow will be converted.\n",
              testing::internal::GetCapturedStderr());
}

TEST(KeltServices, EscapingTwiceChangesNothing) {
    const std::string once = rdz::platform::EscapeLine("a\n\tb\x01\x1b\x7f\xc2\x85 \\n end\n");
    EXPECT_EQ("a\\n\\tb\\x01\\x1B\\x7F\\xC2\\x85 \\n end", once);
    EXPECT_EQ(once, rdz::platform::EscapeLine(once));
    EXPECT_FALSE(rdz::platform::HasControlCharacter(once));
    EXPECT_TRUE(rdz::platform::HasControlCharacter(std::string("a\0b", 3)));
    EXPECT_FALSE(rdz::platform::HasControlCharacter("caf\xc3\xa9 \xff"));
    // A NUL inside a text (std::string, not a C string) is escaped, not an end.
    EXPECT_EQ("a\\x00b", rdz::platform::EscapeLine(std::string("a\0b", 3)));
}

}  // namespace
