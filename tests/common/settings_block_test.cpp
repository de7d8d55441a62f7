#include "CConfigDialogComponent.h"
#include "CProgNameTable.h"
#include "ColumnTables.h"
#include "DataFolderRedirect.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <unistd.h>
#if KSQX_TARGET_WIN && !defined(_WIN32)
 #include "WinShellLayer.h"
#endif

namespace
{
std::vector<unsigned char> bytesOf(const juce::File& f)
{
    juce::MemoryBlock data;
    f.loadFileAsData(data);
    auto* p = static_cast<const unsigned char*>(data.getData());
    return std::vector<unsigned char>(p, p + data.getSize());
}

std::vector<unsigned char> blockOf(const unsigned char* b) { return std::vector<unsigned char>(b, b + kConfigDataSize); }

// The panel wired as the program wires it: a child of the content component,
// beside the table, with the data folder in a temporary folder.
class SettingsBlock : public ::testing::Test
{
protected:
    SettingsBlock() : redirect(temp.get())
    {
        parent.setSize(1060, 722);
        parent.addAndMakeVisible(table);
        table.setBounds(0, 0, 1060, 722);
        parent.addChildComponent(panel);
        panel.setProgNameTable(&table);
    }

    juce::TableHeaderComponent& header() { return table.getHeader(); }

    TempFolder temp;
    ScopedDataFolder redirect;
    juce::Component parent;
    CProgNameTable table;
    CConfigDialogComponent panel;
};
} // namespace

TEST_F(SettingsBlock, DefaultBlockByteForByte)
{
    const auto literal = defaultSettingsBlock();
    const std::vector<unsigned char> expected(literal.begin(), literal.end());
    EXPECT_EQ(blockOf(CConfigDialogComponent::ucInitConfigData), expected);

    memset(panel.m_ucConfigData, 0xEE, kConfigDataSize);
    panel.initConfigParam();
    EXPECT_EQ(blockOf(panel.m_ucConfigData), expected);
}

TEST_F(SettingsBlock, DefaultsAppliedAndAlsoInForceBeforeAnyBlock)
{
    // Before any block is applied the panel already holds the defaults, its
    // toggles agreeing with the live flags.
    EXPECT_DOUBLE_EQ(panel.m_dFontSize, 12.6);
    EXPECT_EQ(panel.m_iWindowWidth, 1062);
    EXPECT_EQ(panel.m_iWindowHeight, 748);
    for (const auto& c : kColumnDefaults)
        if (c.shown >= 0)
            EXPECT_EQ(panel.m_bColumnVisible[flagOfColumn(c.id)], c.shown == 1) << c.id;

    panel.initConfigParam();
    panel.getConfigParam();
    ASSERT_TRUE(deliverPosted()); // the slider's report
    EXPECT_DOUBLE_EQ(panel.getTargetFontSize(), 12.6);
    EXPECT_DOUBLE_EQ(panel.m_pFontSizeSlider->getValue(), 12.6);
    EXPECT_EQ(panel.m_iWindowWidth, 1062);
    EXPECT_EQ(panel.m_iWindowHeight, 748);
    int hidden = 0;
    for (const auto& c : kColumnDefaults)
    {
        EXPECT_EQ(header().getColumnWidth(c.id), c.width) << c.id;
        if (c.shown < 0)
            continue;
        EXPECT_EQ(panel.m_bColumnVisible[flagOfColumn(c.id)], c.shown == 1) << c.id;
        hidden += c.shown == 0;
    }
    EXPECT_EQ(hidden, 9);
}

TEST_F(SettingsBlock, EverySliderFontSizeComesBackUnchanged)
{
    int count = 0;
    for (int step = 85; step >= 0; --step) // downwards, so that every value moves the slider
    {
        panel.m_pFontSizeSlider->setValue(7.0 + 0.2 * step, juce::sendNotificationSync);
        const double size = panel.m_pFontSizeSlider->getValue();
        ASSERT_EQ(panel.m_dFontSize, size);
        const int tenths = 70 + 2 * step;

        panel.updateConfigParam();
        EXPECT_EQ(panel.m_ucConfigData[4], tenths / 10) << size;
        EXPECT_EQ(panel.m_ucConfigData[5], tenths % 10) << size;

        panel.m_dFontSize = 0.0;
        panel.getConfigParam();
        ASSERT_TRUE(deliverPosted()); // the slider's report, if any
        EXPECT_NEAR(panel.m_dFontSize, size, 1e-9);
        EXPECT_EQ(panel.m_pFontSizeSlider->getValue(), size);
        ++count;
    }
    EXPECT_EQ(count, 86);
}

TEST_F(SettingsBlock, StoredFontSizesOutsideTheSlidersRange)
{
    struct Case
    {
        unsigned char whole, tenths;
        double slider, fontSize; // after the slider has reported back
    };
    const Case cases[] = {{30, 0, 24.0, 24.0}, {24, 5, 24.0, 24.0}, {15, 0, 15.0, 15.0}, {6, 5, 7.0, 6.5}, {5, 0, 7.0, 12.0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.whole * 10 + c.tenths);
        CConfigDialogComponent fresh;
        parent.addChildComponent(fresh);
        fresh.setProgNameTable(&table);
        fresh.initConfigParam();
        fresh.m_ucConfigData[4] = c.whole;
        fresh.m_ucConfigData[5] = c.tenths;
        fresh.getConfigParam();
        ASSERT_TRUE(deliverPosted()); // the slider's report, if any
        EXPECT_DOUBLE_EQ(fresh.m_pFontSizeSlider->getValue(), c.slider);
        EXPECT_NEAR(fresh.getTargetFontSize(), c.fontSize, 1e-9);
    }

    for (double inBand : {6.0, 24.0})
    {
        panel.m_dFontSize = inBand;
        EXPECT_EQ(panel.getTargetFontSize(), inBand);
    }
    panel.m_dFontSize = 24.01;
    EXPECT_EQ(panel.getTargetFontSize(), 12.0);
    EXPECT_EQ(panel.m_dFontSize, 12.0) << "replaced for good";
}

TEST_F(SettingsBlock, WindowSizeFromTheContentComponentClampedToTheBlock)
{
    struct Case
    {
        int parentW, parentH;
        unsigned char bytes[4];
        int storedW, storedH;
    };
    const Case cases[] = {
        {1060, 722, {106, 2, 74, 8}, 1062, 748},
        {0, 0, {0, 2, 2, 6}, 2, 26},
        {2557, 2533, {255, 9, 255, 9}, 2559, 2559},
        {3000, 2600, {255, 9, 255, 9}, 2559, 2559}, // larger windows are kept at the largest size held
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.parentW);
        parent.setSize(c.parentW, c.parentH);
        panel.pushConfigParam();
        EXPECT_EQ(panel.m_iWindowWidth, c.parentW + 2);
        EXPECT_EQ(panel.m_iWindowHeight, c.parentH + 26);
        EXPECT_EQ(blockOf(panel.m_ucConfigData).at(6), c.bytes[0]);
        EXPECT_EQ(panel.m_ucConfigData[7], c.bytes[1]);
        EXPECT_EQ(panel.m_ucConfigData[8], c.bytes[2]);
        EXPECT_EQ(panel.m_ucConfigData[9], c.bytes[3]);
        EXPECT_EQ(blockOf(panel.m_ucSavedConfigData), blockOf(panel.m_ucConfigData));

        panel.m_iWindowWidth = panel.m_iWindowHeight = -1;
        panel.getConfigParam();
        EXPECT_EQ(panel.m_iWindowWidth, c.storedW);
        EXPECT_EQ(panel.m_iWindowHeight, c.storedH);
    }
}

TEST_F(SettingsBlock, EachShowHideToggleRoundTripsByColumn)
{
    panel.initConfigParam();
    for (int k = 0; k < kShowHideFlagCount; ++k)
    {
        const int id = kFlagColumn[k];
        SCOPED_TRACE(id);
        for (int j = 0; j < kShowHideFlagCount; ++j)
            panel.m_ucConfigData[16 + j] = 1;
        panel.m_ucConfigData[16 + id - 3] = 0;
        panel.getConfigParam();

        // Only the column's own toggle and flag went off.
        panel.updateConfigParam();
        for (int c = 3; c <= 26; ++c)
        {
            EXPECT_EQ(panel.m_ucConfigData[16 + c - 3], c == id ? 0 : 1) << c;
            EXPECT_EQ(panel.m_bColumnVisible[flagOfColumn(c)], c != id) << c;
        }
    }

    // Any nonzero byte counts as shown and is stored back as 1.
    panel.m_ucConfigData[16 + 26 - 3] = 7;
    panel.getConfigParam();
    EXPECT_TRUE(panel.m_bColumnVisible[23]);
    EXPECT_TRUE(panel.m_pExpressionToggle->getToggleState());
    panel.updateConfigParam();
    EXPECT_EQ(panel.m_ucConfigData[39], 1);
}

TEST_F(SettingsBlock, ColumnWidthsWithinLimitsAndNeverWrapped)
{
    panel.initConfigParam();
    panel.m_ucConfigData[40 + 5 - 1] = 0;
    panel.m_ucConfigData[40 + 8 - 1] = 250;
    panel.getConfigParam();
    EXPECT_EQ(header().getColumnWidth(5), 10);
    EXPECT_EQ(header().getColumnWidth(8), 160);

    // Every width a column can take round-trips; column 2 wider than a byte
    // holds is stored as 255, not as its low eight bits (300 would be 44).
    for (int id = 1; id <= 26; ++id)
        header().setColumnWidth(id, 20 + 4 * id);
    header().setColumnWidth(2, 300);
    panel.updateConfigParam();
    for (int id = 1; id <= 26; ++id)
        EXPECT_EQ(panel.m_ucConfigData[40 + id - 1], id == 2 ? 255 : 20 + 4 * id) << id;

    for (int id = 1; id <= 26; ++id)
        header().setColumnWidth(id, 100);
    panel.getConfigParam();
    for (int id = 1; id <= 26; ++id)
        EXPECT_EQ(header().getColumnWidth(id), id == 2 ? 255 : 20 + 4 * id) << id;
}

TEST_F(SettingsBlock, HiddenColumnKeepsItsStoredWidth)
{
    panel.initConfigParam();
    panel.getConfigParam();
    header().setColumnVisible(12, false);
    header().setColumnWidth(12, 150);
    header().setColumnWidth(26, 120);
    panel.updateConfigParam();
    EXPECT_EQ(panel.m_ucConfigData[40 + 12 - 1], 46);
    EXPECT_EQ(panel.m_ucConfigData[40 + 26 - 1], 120);
    EXPECT_EQ(panel.m_ucConfigData[39], 1);
}

TEST_F(SettingsBlock, BlockWithoutMagicIsNotAppliedAndIsRepairedOnUpdate)
{
    unsigned char block[kConfigDataSize];
    memcpy(block, defaultSettingsBlock().data(), kConfigDataSize);
    memcpy(block, "KSQX", 4);
    block[4] = 20;                // font size 20.0
    block[16] = 0;                // PEDAL1 hidden
    block[40] = 100;              // column 1 width
    for (int i = 10; i < 16; ++i) // reserved bytes
        block[i] = (unsigned char) (0xA0 + i);
    memcpy(panel.m_ucConfigData, block, kConfigDataSize);
    panel.getConfigParam();
    ASSERT_TRUE(deliverPosted());
    EXPECT_DOUBLE_EQ(panel.m_dFontSize, 12.6);
    EXPECT_TRUE(panel.m_bColumnVisible[0]);
    EXPECT_TRUE(panel.m_pPedal1Toggle->getToggleState());
    EXPECT_EQ(header().getColumnWidth(1), 30);

    panel.updateConfigParam();
    EXPECT_EQ(memcmp(panel.m_ucConfigData, "KSQC", 4), 0);
    EXPECT_EQ(panel.m_ucConfigData[4], 12);
    EXPECT_EQ(panel.m_ucConfigData[5], 6);
    EXPECT_EQ(panel.m_ucConfigData[16], 1);
    EXPECT_EQ(panel.m_ucConfigData[40], 30);
    for (int i = 10; i < 16; ++i)
        EXPECT_EQ(panel.m_ucConfigData[i], 0xA0 + i) << i;
}

TEST_F(SettingsBlock, NoTableNoWidths)
{
    CConfigDialogComponent alone;
    alone.initConfigParam();
    alone.m_ucConfigData[4] = 9;
    alone.getConfigParam();
    alone.updateConfigParam();
    EXPECT_EQ(alone.m_ucConfigData[4], 9);
    EXPECT_EQ(blockOf(alone.m_ucConfigData).at(40), 30);
}

// The settings file as the program meets it: read at start-up (defaults when it
// is refused), written at shut-down.
TEST_F(SettingsBlock, SettingsFileCasesFromStartUpToShutDown)
{
    const juce::File file = CConfigDialogComponent::getSettingsFile();
    ASSERT_EQ(file, redirect.settingsFile());
    ASSERT_TRUE(file.getParentDirectory().isDirectory()) << "the folder is made when missing";

    std::vector<unsigned char> wrongMagic = blockOf(defaultSettingsBlock().data());
    memcpy(wrongMagic.data(), "XXXX", 4);
    wrongMagic[10] = 0x55;
    std::vector<unsigned char> stored = blockOf(defaultSettingsBlock().data());
    stored[4] = 15;
    stored[5] = 4;
    stored[16] = 0;
    stored[12] = 0x77; // reserved, kept as the file has it

    struct Case
    {
        const char* name;
        bool exists;
        std::vector<unsigned char> content;
        bool accepted;
        double fontSize; // in force after start-up
    };
    const Case cases[] = {
        {"missing", false, {}, false, 12.6},
        {"empty", true, {}, false, 12.6},
        {"65 bytes", true, std::vector<unsigned char>(stored.begin(), stored.end() - 1), false, 12.6},
        {"67 bytes", true, [&] { auto v = stored; v.push_back(9); return v; }(), false, 12.6},
        {"wrong magic", true, wrongMagic, true, 12.6},
        {"stored", true, stored, true, 15.4},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        file.deleteFile();
        if (c.exists)
        {
            ASSERT_TRUE(file.create());
            ASSERT_TRUE(file.appendData(c.content.data(), c.content.size()));
        }

        CConfigDialogComponent p;
        parent.addChildComponent(p);
        p.setProgNameTable(&table);
        const bool read = CConfigDialogComponent::readSettingsFile(file, p.m_ucConfigData);
        EXPECT_EQ(read, c.accepted);
        if (!read)
            p.initConfigParam();
        if (!c.exists)
            ASSERT_TRUE(CConfigDialogComponent::writeSettingsFile(file, p.m_ucConfigData));
        p.getConfigParam();
        ASSERT_TRUE(deliverPosted()); // the slider's report, if any
        EXPECT_NEAR(p.getTargetFontSize(), c.fontSize, 1e-9);
        if (c.exists && !read)
            EXPECT_EQ(bytesOf(file), c.content) << "a refused file is left alone";

        p.writeConfigParam();
        const auto after = bytesOf(file);
        EXPECT_EQ(after, blockOf(p.m_ucConfigData));
        ASSERT_EQ(after.size(), (size_t) kConfigDataSize);
        EXPECT_EQ(memcmp(after.data(), "KSQC", 4), 0);
        if (read)
            for (int i = 10; i < 16; ++i)
                EXPECT_EQ(after[(size_t) i], c.content[(size_t) i]) << i;
        parent.removeChildComponent(&p);
    }
    EXPECT_EQ(file.getParentDirectory().findChildFiles(juce::File::findFiles, false).size(), 1)
        << "no temporary file is left behind";
}

TEST_F(SettingsBlock, WriteNeverCreatesTheFile)
{
    const juce::File file = redirect.settingsFile();
    file.deleteFile();
    panel.writeConfigParam();
    EXPECT_FALSE(file.exists());
    EXPECT_TRUE(file.getParentDirectory().isDirectory());
}

TEST_F(SettingsBlock, FileThatCannotBeWrittenStaysAsItWas)
{
    unsigned char block[kConfigDataSize];
    memcpy(block, defaultSettingsBlock().data(), kConfigDataSize);

    // A folder where the file should be: nothing to read, nothing written.
    const juce::File folderInTheWay = temp.file("x/setting.ksqc");
    ASSERT_TRUE(folderInTheWay.createDirectory());
    EXPECT_FALSE(CConfigDialogComponent::readSettingsFile(folderInTheWay, block));
    EXPECT_FALSE(CConfigDialogComponent::writeSettingsFile(folderInTheWay, block));
    EXPECT_TRUE(folderInTheWay.isDirectory());

    // A file whose parent is a regular file.
    ASSERT_TRUE(temp.file("plain").replaceWithText("x"));
    EXPECT_FALSE(CConfigDialogComponent::writeSettingsFile(temp.file("plain/setting.ksqc"), block));
    EXPECT_FALSE(CConfigDialogComponent::writeSettingsFile(juce::File(), block));
    EXPECT_FALSE(CConfigDialogComponent::readSettingsFile(juce::File(), block));
    EXPECT_EQ(blockOf(block), blockOf(defaultSettingsBlock().data())) << "a failed read leaves the block";
}

TEST_F(SettingsBlock, FileInReadOnlyFolderStaysAsItWas)
{
    // A settings file its user made read-only, in a read-only folder: neither
    // OK nor shut-down changes it. (A writable one there is written in place:
    // see the file writers' table.) Run as an ordinary user by
    // scripts/unprivileged-tests.sh; root passes every permission check.
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bite for root";
    unsigned char block[kConfigDataSize];
    memcpy(block, defaultSettingsBlock().data(), kConfigDataSize);
    const juce::File file = redirect.settingsFile();
    const juce::File folder = file.getParentDirectory();
    ASSERT_TRUE(folder.createDirectory().wasOk());
    const std::vector<unsigned char> old(67, 0x33);
    ASSERT_TRUE(file.replaceWithData(old.data(), old.size()));
    ASSERT_TRUE(file.setReadOnly(true));
    ASSERT_TRUE(folder.setReadOnly(true, false));

    panel.writeConfigParam();
    EXPECT_FALSE(CConfigDialogComponent::writeSettingsFile(file, block));

    folder.setReadOnly(false, false);
    EXPECT_EQ(bytesOf(file), old);
    EXPECT_FALSE(file.hasWriteAccess()) << "still read-only";
    EXPECT_EQ(folder.findChildFiles(juce::File::findFilesAndDirectories, false, "*").size(), 1);
}

#if KSQX_TARGET_WIN && !defined(_WIN32)
TEST_F(SettingsBlock, NoDataFolderMeansNoSettingsFile)
{
    WinShellLayer::testHooks().folderFor = [](int, bool) { return juce::File(); };
    EXPECT_EQ(CConfigDialogComponent::getSettingsFile(), juce::File());
    panel.initConfigParam();
    panel.getConfigParam();
    panel.writeConfigParam(); // nothing to write, nothing written
    EXPECT_DOUBLE_EQ(panel.getTargetFontSize(), 12.6);
    EXPECT_EQ(temp.get().findChildFiles(juce::File::findFilesAndDirectories, true).size(), 0);
}
#endif
