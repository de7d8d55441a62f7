#include "KSPLLibApp.h"
#include "MacEventLayer.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
// The application object with the framework's quit replaced by a count.
class CountingApp : public KSPLLibApp
{
public:
    void systemRequestedQuit() override { ++quits; }
    int quits = 0;
};

class MacAppEvents : public ::testing::Test
{
protected:
    void SetUp() override
    {
        MacPlatform::resetForTests();
        app.installMacEventHandlers();
    }
    void TearDown() override { MacPlatform::resetForTests(); }
    CountingApp app;
    BoxRecorder boxes;
};
} // namespace

TEST_F(MacAppEvents, QuitCommandAsksAndQuitsOnlyAfterOK)
{
    boxes.answers = {false, true};
    EXPECT_EQ(MacPlatform::deliverCommandProcess(kHICommandQuit), noErr); // Cancel: handled here
    EXPECT_EQ(app.quits, 0);
    EXPECT_EQ(MacPlatform::deliverCommandProcess(kHICommandQuit), eventNotHandledErr); // OK: on to the framework
    EXPECT_EQ(app.quits, 1);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const auto& b : boxes.boxes)
    {
        EXPECT_EQ(b, okCancelBox(juce::MessageBoxIconType::WarningIcon, "Quit:", "Are you sure?", "  OK  ", "Cancel"));
    }
}

TEST_F(MacAppEvents, OtherCommandsPassWithoutQuestion)
{
    EXPECT_EQ(MacPlatform::deliverCommandProcess(ksqxFourCC("abou")), eventNotHandledErr);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(app.quits, 0);
}

TEST_F(MacAppEvents, QuitEventQuitsWithoutQuestion)
{
    EXPECT_EQ(MacPlatform::deliverQuitApplication(), 0);
    EXPECT_EQ(app.quits, 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MacAppEvents, OpenDocumentsRecordsTheFirstExistingFile)
{
    TempFolder tmp;
    const juce::File a = tmp.file("A.ksqx"), b = tmp.file("B.ksqx");
    ASSERT_TRUE(a.create());
    ASSERT_TRUE(b.create());
    app.m_fileDocument = juce::File();
    // An unreadable item and a missing file come first and are passed over.
    EXPECT_EQ(MacPlatform::deliverOpenDocuments({"", tmp.file("missing.ksqx").getFullPathName(),
                                                 a.getFullPathName(), b.getFullPathName()}),
              0);
    EXPECT_EQ(app.m_fileDocument, a);

    // A list of only missing files changes nothing.
    MacPlatform::deliverOpenDocuments({tmp.file("gone.ksqx").getFullPathName()});
    EXPECT_EQ(app.m_fileDocument, a);

    // A path far longer than a file reference's 80 bytes comes back whole.
    const juce::File deep = tmp.file(juce::String::repeatedString("a long folder name/", 12) + "Deep.ksqx");
    ASSERT_TRUE(deep.create());
    ASSERT_GT(deep.getFullPathName().getNumBytesAsUTF8(), 200u);
    app.m_fileDocument = juce::File();
    MacPlatform::deliverOpenDocuments({deep.getFullPathName()});
    EXPECT_EQ(app.m_fileDocument, deep);
}
