#include "CDialogUtil.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

TEST(DialogUtil, TestHandlerRecordsBoxesAndAnswersInOrder)
{
    BoxRecorder rec;
    rec.answers = {false, true};
    CDialogUtil::showMessageBox(juce::MessageBoxIconType::InfoIcon, "T:", "m", "  OK  ");
    EXPECT_FALSE(CDialogUtil::showOkCancelBox(juce::MessageBoxIconType::WarningIcon, "A:", "b", "  OK  ", "Cancel"));
    EXPECT_TRUE(CDialogUtil::showOkCancelBox(juce::MessageBoxIconType::WarningIcon, "A:", "b", "  OK  ", "Cancel"));
    ASSERT_EQ(rec.boxes.size(), 3u);
    EXPECT_FALSE(rec.boxes[0].okCancel);
    EXPECT_EQ(rec.boxes[0].button1, "  OK  ");
    EXPECT_TRUE(rec.boxes[1].okCancel);
    EXPECT_EQ(rec.boxes[2].button2, "Cancel");
}
