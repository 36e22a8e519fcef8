// The host type library: texts, URLs to local paths, and UTF-8 file names.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/UTF8FS.h"
#include "host/ZQTypes.h"

namespace {

std::string LocalPath(const std::string& text) {
    return ZQ_TURL::FromString(ZQ_TString(text.c_str(), 0xFFFFFFFF)).LocalName().GetText();
}

std::string Refusal(const std::string& text) {
    try {
        LocalPath(text);
    } catch (const ZQ_EException& e) {
        return e.GetMessage();
    }
    return "<accepted>";
}

}  // namespace

TEST(ZQString, LengthOrWholeTextUpToItsZero) {
    const char text[] = "links/a.icc\0hidden";
    EXPECT_STREQ(ZQ_TString(text, 0xFFFFFFFF).GetText(), "links/a.icc");
    EXPECT_EQ(ZQ_TString(text, 5).Str(), "links");
    EXPECT_STREQ(ZQ_TString(nullptr, 0xFFFFFFFF).GetText(), "");
    EXPECT_STREQ(ZQ_TString().GetText(), "");
}

TEST(ZQURL, FileURLsAndPlainPathsGiveLocalPaths) {
    EXPECT_EQ(LocalPath("file:///srv/links/a%20b.icc"), "/srv/links/a b.icc");
    EXPECT_EQ(LocalPath("FILE://localhost/srv/a.icc"), "/srv/a.icc");
    EXPECT_EQ(LocalPath("file:/srv/a.icc"), "/srv/a.icc");
    EXPECT_EQ(LocalPath("file:///srv/caf%C3%A9.icc#part"), "/srv/café.icc");
    // Plain paths stand as they are, percent signs included.
    EXPECT_EQ(LocalPath("/srv/100%20.icc"), "/srv/100%20.icc");
    EXPECT_EQ(LocalPath("links/a.icc"), "links/a.icc");
    EXPECT_EQ(LocalPath("C:/links/a.icc"), "C:/links/a.icc");
}

TEST(ZQURL, OtherSchemesAndMalformedURLsThrowWithAMessage) {
    EXPECT_EQ(Refusal("http://example.org/a.icc"), "unsupported URL scheme 'http'");
    EXPECT_EQ(Refusal("file://server/share/a.icc"), "file URL for another host 'server'");
    EXPECT_EQ(Refusal("file:a.icc"), "file URL without an absolute path");
    EXPECT_EQ(Refusal("file:///a%2"), "malformed percent-encoding in URL");
    EXPECT_EQ(Refusal("file:///a%zz"), "malformed percent-encoding in URL");
    EXPECT_EQ(Refusal("file:///a%00b"), "URL holds an encoded zero byte");
    EXPECT_EQ(Refusal("file:///a%FF"), "URL path is not UTF-8");
    EXPECT_EQ(Refusal(""), "empty URL");
}

TEST(Utf8ToUnicode, GivesOneWideCharacterPerCodePoint) {
    EXPECT_EQ(Utf8ToUnicode("a\xC3\xA9\xE2\x9C\x93\xF0\x9F\x98\x80"),
              (std::wstring{L'a', wchar_t(0xE9), wchar_t(0x2713), wchar_t(0x1F600)}));
    EXPECT_EQ(Utf8ToUnicode(""), L"");
}

TEST(Utf8ToUnicode, InvalidBytesAreAnErrorNotAFileName) {
    const char* const invalid[] = {
        "\x80",              // continuation without a lead
        "\xC0\x80",          // overlong zero
        "\xE0\x80\xAF",      // overlong slash
        "\xED\xA0\x80",      // surrogate
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "ab\xE2\x82",        // cut short
        "\xFF",
    };
    for (const char* text : invalid) {
        EXPECT_THROW(Utf8ToUnicode(text), std::invalid_argument) << text;
    }
}
