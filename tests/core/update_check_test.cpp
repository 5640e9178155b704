// The update check's reading of the server's replies.
#include <gtest/gtest.h>

#include "app/update_check.h"

namespace mdk::update {
namespace {

TEST(UpdateVersion, CodeComesFromTheAboutText) {
    EXPECT_EQ(versionCode("About Marrowdeck V6.0.0"), "V600");
    EXPECT_EQ(versionCode("About X V7.1.2"), "V712");
    EXPECT_EQ(versionCode("About"), "");
    EXPECT_EQ(versionCode("V6.0."), "");
}

TEST(UpdateReply, TextsAreCutTo255BytesAndEndAtAZero) {
    EXPECT_EQ(replyText(std::string(300, 'a')).size(), 255u);
    EXPECT_EQ(replyText(std::string(255, 'b')), std::string(255, 'b'));
    EXPECT_EQ(replyText(std::string("ab\0cd", 5)), "ab");
}

TEST(UpdateRelease, ItsOwnCodeMeansUpToDate) {
    const Release release = readRelease("V600 whatever", "V600");
    EXPECT_TRUE(release.upToDate);
    EXPECT_TRUE(release.link.empty());
}

TEST(UpdateRelease, ANewerReleaseNeedsAWebLinkAtByte14) {
    struct Case {
        std::string record;
        std::string link;
    };
    const Case cases[] = {
        {"V610 123456789https://example.org/get\r\n", "https://example.org/get"},
        {"V610 123456789http://example.org/\n", "http://example.org/"},
        {"V610 123456789HTTP://example.org/", "HTTP://example.org/"},
        {"V610 12345678", ""},                                 // shorter than 14 bytes
        {"V610 123456789\r\n", ""},                            // nothing after byte 14
        {"V610 123456789file:///etc/passwd", ""},              // not a web link
        {"V610 123456789javascript:alert(1)", ""},             //
        {"V610 123456789https://a.org/x y", ""},               // a blank inside
        {"V610 123456789https://a.org/x\r\nsecond line", ""},  // a line end inside
        {"V610 123456789https:///path", ""},                   // no host
    };
    for (const Case& c : cases) {
        const Release release = readRelease(c.record, "V600");
        EXPECT_FALSE(release.upToDate) << c.record;
        EXPECT_EQ(release.link, c.link) << c.record;
        EXPECT_EQ(release.refusal.empty(), !c.link.empty()) << c.record;
    }
}

}  // namespace
}  // namespace mdk::update
