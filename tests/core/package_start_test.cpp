// The start with a package or skin pack argument.
#include <gtest/gtest.h>

#include "app/package_start.h"
#include "phone_fixture.h"

namespace mdk::test {
namespace {

TEST(PackageArgument, RelativeArgumentsAreTakenInTheStartFolder) {
    EXPECT_EQ(absoluteArgument("skins/a.mrdk", "/home/u"), "/home/u/skins/a.mrdk");
    EXPECT_EQ(absoluteArgument("a.mrdk", "/"), "/a.mrdk");
    EXPECT_EQ(absoluteArgument("/abs/a.mrdk", "/home/u"), "/abs/a.mrdk");
    EXPECT_EQ(absoluteArgument("", "/home/u"), "");
}

TEST(PackageArgument, OnlyAnExactLowerCaseEndingIsASkinPack) {
    EXPECT_TRUE(isSkinPack("/x/pack.s4m"));
    EXPECT_FALSE(isSkinPack("/x/pack.S4M"));
    EXPECT_FALSE(isSkinPack("/x/pack.s4m.mrdk"));
    EXPECT_FALSE(isSkinPack("s4m"));
}

struct PackageRun : ::testing::Test {
    PhoneFixture phone;
    std::vector<std::string> ran;
    PackageRunResult result = PackageRunResult::Ended;

    void start(const std::string& argument) {
        PackageStart(phone.context, [this](const std::string& path) {
            ran.push_back(path);
            return result;
        }).run(argument);
    }
    std::vector<Prompt> shown() const { return phone.prompter.shown(); }
    size_t restarts() const {
        size_t n = 0;
        for (const SeenCommand& c : phone.link->commands()) n += c.command == CommandSet::kRestart;
        return n;
    }
};

TEST_F(PackageRun, ASkinPackGetsTheInformationBoxAndNoPackageRun) {
    start("/x/pack.s4m");
    EXPECT_TRUE(ran.empty());
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].title, "M89");
    EXPECT_EQ(shown()[0].icon, PromptIcon::Information);
    EXPECT_NE(shown()[0].text.find("*.s4m to *.zip"), std::string::npos);
}

TEST_F(PackageRun, AnUpperCaseSkinPackEndingGoesToThePackageDialog) {
    phone.context.driver.setLink(nullptr);
    start("/x/pack.S4M");
    EXPECT_EQ(ran, (std::vector<std::string>{"/x/pack.S4M"}));
}

TEST_F(PackageRun, WithTheLinkUpTheCompletionQuestionRestartsThePhoneOnYes) {
    phone.context.link.phoneConnected = 1;
    phone.prompter.queueAnswer(PromptAnswer::Yes);
    start("/x/skin.mrdk");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(shown()[0].title, "M89");
    EXPECT_EQ(restarts(), 1u);
}

TEST_F(PackageRun, NoOnTheCompletionQuestionLeavesThePhone) {
    phone.context.link.phoneConnected = 1;
    phone.prompter.queueAnswer(PromptAnswer::No);
    start("/x/skin.mrdk");
    EXPECT_EQ(shown().size(), 1u);
    EXPECT_EQ(restarts(), 0u);
}

TEST_F(PackageRun, WithoutALinkTheStopBoxTellsToPlugThePhoneFirst) {
    phone.context.driver.setLink(nullptr);
    start("/x/skin.mrdk");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].icon, PromptIcon::Error);
    EXPECT_EQ(shown()[0].text,
              "Phone not connected!\nYou must plug phone,\nBEFORE you start *.mrdk file.");
}

TEST_F(PackageRun, ACancelledDialogAsksNothingEvenWithTheLinkUp) {
    phone.context.link.phoneConnected = 1;
    result = PackageRunResult::Cancelled;
    start("/x/skin.mrdk");
    EXPECT_EQ(ran.size(), 1u);
    EXPECT_TRUE(shown().empty());
    EXPECT_EQ(restarts(), 0u);
    phone.context.driver.setLink(nullptr);
    start("/x/skin.mrdk");
    EXPECT_TRUE(shown().empty());
}

TEST_F(PackageRun, TheLinkCountsOnlyOnceItsAttachPassFoundThePhone) {
    phone.context.link.phoneConnected = 0;
    EXPECT_FALSE(packageLinkUp(phone.context));
    phone.context.link.phoneConnected = 1;
    EXPECT_TRUE(packageLinkUp(phone.context));
    phone.context.driver.setLink(nullptr);
    EXPECT_FALSE(packageLinkUp(phone.context));
}

}  // namespace
}  // namespace mdk::test
