// The seam every box and file dialog of the program goes through: with a
// handler set, each request reaches it exactly as the program made it, and
// the handler's answer is what the program gets back.
#include "CDialogUtil.h"
#include <gtest/gtest.h>

TEST(DialogUtil, EveryBoxReachesTheHandlerUnchangedAndOkCancelReturnsItsAnswer)
{
    std::vector<CDialogUtil::Box> seen;
    std::vector<bool> answers = {false, false, true}; // the message box's is ignored
    CDialogUtil::setBoxHandler([&](const CDialogUtil::Box& box) {
        seen.push_back(box);
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    CDialogUtil::showMessageBox(juce::MessageBoxIconType::InfoIcon, "T:", "m\nn", "  OK  ");
    const bool second = CDialogUtil::showOkCancelBox(juce::MessageBoxIconType::WarningIcon, "A:", "b", "OK", "Cancel");
    const bool third = CDialogUtil::showOkCancelBox(juce::MessageBoxIconType::QuestionIcon, "Q", "", "Yes", "No");
    CDialogUtil::setBoxHandler(nullptr);

    EXPECT_FALSE(second);
    EXPECT_TRUE(third);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_FALSE(seen[0].okCancel);
    EXPECT_EQ(seen[0].icon, juce::MessageBoxIconType::InfoIcon);
    EXPECT_EQ(seen[0].title, "T:");
    EXPECT_EQ(seen[0].message, "m\nn");
    EXPECT_EQ(seen[0].button1, "  OK  ");
    EXPECT_TRUE(seen[0].button2.isEmpty());
    EXPECT_TRUE(seen[1].okCancel);
    EXPECT_EQ(seen[1].icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ(seen[1].title, "A:");
    EXPECT_EQ(seen[1].message, "b");
    EXPECT_EQ(seen[1].button1, "OK");
    EXPECT_EQ(seen[1].button2, "Cancel");
}

TEST(DialogUtil, FileRequestsReachTheHandlerUnchangedAndItsFileIsTheChoice)
{
    std::vector<CDialogUtil::FileRequest> seen;
    const juce::File chosen("/somewhere/bank.ksqx");
    CDialogUtil::setFileHandler([&](const CDialogUtil::FileRequest& r) {
        seen.push_back(r);
        return r.save ? chosen : juce::File();
    });
    const juce::File opened = CDialogUtil::browseForFileToOpen("Open", juce::File("/start"), "*.ksqx");
    const juce::File saved = CDialogUtil::browseForFileToSave("Save", juce::File("/other"), "*.ksqx;*.x", true);
    CDialogUtil::setFileHandler(nullptr);

    EXPECT_EQ(opened, juce::File()) << "a cancelled dialog gives no file";
    EXPECT_EQ(saved, chosen);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].save);
    EXPECT_EQ(seen[0].title, "Open");
    EXPECT_EQ(seen[0].startIn, juce::File("/start"));
    EXPECT_EQ(seen[0].patterns, "*.ksqx");
    EXPECT_TRUE(seen[1].save);
    EXPECT_EQ(seen[1].title, "Save");
    EXPECT_EQ(seen[1].startIn, juce::File("/other"));
    EXPECT_EQ(seen[1].patterns, "*.ksqx;*.x");
    EXPECT_TRUE(seen[1].warnAboutOverwriting);
}
