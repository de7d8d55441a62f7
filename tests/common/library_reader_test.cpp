#include "CProgNameTable.h"
#include "ProgTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
struct ReaderFixture : ::testing::Test
{
    TempFolder tmp;
    BoxRecorder boxes;
    CProgNameTable table;

    void SetUp() override
    {
        table.setSize(800, 600);
        table.initialize();
        const auto block = progBlock(7);
        std::copy(block.begin(), block.end(), table.m_ucReadProgData);
        table.UpdateUserProg();
        table.selectRow(5);
    }
    // A library file as the program saves it: CopyProgForWrite of rows 0..99.
    std::vector<unsigned char> savedBlock()
    {
        std::vector<unsigned char> b(kProgDumpBlockSize);
        for (int r = 0; r < 100; ++r)
            table.CopyProgForWrite(r, b.data() + r * kProgDumpSize);
        return b;
    }
    juce::File write(const juce::String& name, const std::vector<unsigned char>& bytes)
    {
        auto f = tmp.file(name);
        EXPECT_TRUE(f.replaceWithData(bytes.data(), bytes.size()) || bytes.empty());
        if (bytes.empty())
            EXPECT_TRUE(f.create().wasOk());
        return f;
    }
    void expectUnchanged(const std::vector<unsigned char>& readBefore)
    {
        EXPECT_EQ(table.getNumRows(), 100);
        EXPECT_EQ(selectedRows(table), std::vector<int>{5});
        EXPECT_EQ(0, std::memcmp(table.m_ucReadProgData, readBefore.data(), kProgDumpBlockSize));
    }
    void expectOneBox(const char* message)
    {
        ASSERT_EQ(boxes.boxes.size(), 1u);
        const auto& b = boxes.boxes[0];
        EXPECT_FALSE(b.okCancel);
        EXPECT_EQ(b.icon, juce::MessageBoxIconType::InfoIcon);
        EXPECT_EQ(b.title, "File Open Error : ");
        EXPECT_EQ(b.message, message);
        EXPECT_EQ(b.button1, "ok");
    }
};

std::vector<unsigned char> withByte(std::vector<unsigned char> b, size_t at, unsigned char v)
{
    b[at] = v;
    return b;
}
std::vector<unsigned char> resized(std::vector<unsigned char> b, size_t n)
{
    b.resize(n, 0x11);
    return b;
}
} // namespace

TEST_F(ReaderFixture, EachFileIsAddedOrRefusedAsItDeserves)
{
    const auto saved = savedBlock();
    auto zeroNumbers = saved;
    for (int r = 0; r < 100; ++r)
        zeroNumbers[(size_t) r * kProgDumpSize + 8] = 0;
    auto junkTail = saved;
    juce::Random rng(3);
    for (size_t i = kProgDumpSize; i < junkTail.size(); ++i)
        junkTail[i] = (unsigned char) rng.nextInt(256);

    enum Make { Bytes, Missing, Folder };
    struct Case
    {
        juce::String fileName;
        Make make;
        std::vector<unsigned char> bytes;
        bool selectFirst;
        const char* box;          // nullptr: no box
        juce::String rowName;     // name of the added rows; empty: none added
    };
    const Case cases[] = {
        {"Live.ksqx", Bytes, saved, true, nullptr, "Live"},
        {"Quiet.ksqx", Bytes, saved, false, nullptr, "Quiet"},
        {"My.Set.ksqx", Bytes, saved, true, nullptr, "My.Set"},
        {juce::CharPointer_UTF8("Bl\xc3\xa4ue Ch\xc3\xb6re 2.ksqx"), Bytes, saved, true, nullptr,
         juce::CharPointer_UTF8("Bl\xc3\xa4ue Ch\xc3\xb6re 2")},
        {"Numbers.ksqx", Bytes, zeroNumbers, true, nullptr, "Numbers"},
        {"Tail.ksqx", Bytes, junkTail, true, nullptr, "Tail"},
        {"Bank.KSQX", Bytes, saved, true, nullptr, ""},
        {"Bank.ksq", Bytes, saved, true, nullptr, ""},
        {"Bank", Bytes, saved, true, nullptr, ""},
        {"Empty.ksqx", Bytes, {}, true, "Illegal File Size!", ""},
        {"Short.ksqx", Bytes, resized(saved, 4699), true, "Illegal File Size!", ""},
        {"Long.ksqx", Bytes, resized(saved, 4701), true, "Illegal File Size!", ""},
        {"Head.ksqx", Bytes, withByte(saved, 7, 0x21), true, "Illegal File Format!", ""},
        {"First.ksqx", Bytes, withByte(saved, 0, 0x00), true, "Illegal File Format!", ""},
        {"Missing.ksqx", Missing, {}, true, "Illegal File Size!", ""},
        {"Folder.ksqx", Folder, {}, true, nullptr, ""}, // a folder is no library file: ignored
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.fileName);
        juce::File f = tmp.file(c.fileName);
        if (c.make == Bytes)
            f = write(c.fileName, c.bytes);
        else if (c.make == Folder)
            ASSERT_TRUE(f.createDirectory().wasOk());
        // A block of its own, so that a refused file can be seen not to touch it.
        std::vector<unsigned char> readBefore(kProgDumpBlockSize, 0x5A);
        std::copy(readBefore.begin(), readBefore.end(), table.m_ucReadProgData);
        boxes.boxes.clear();

        table.openWithFile(f, c.selectFirst);

        if (c.box != nullptr)
            expectOneBox(c.box);
        else
            EXPECT_TRUE(boxes.boxes.empty());
        if (c.rowName.isEmpty())
        {
            expectUnchanged(readBefore);
            continue;
        }
        ASSERT_EQ(table.getNumRows(), 200);
        EXPECT_EQ(0, std::memcmp(table.m_ucReadProgData, c.bytes.data(), kProgDumpBlockSize));
        for (int k = 0; k < 100; ++k)
        {
            const auto* rec = table.getRecord(100 + k);
            ASSERT_EQ(rec->getFileName(), c.rowName);
            ASSERT_EQ(rec->m_iOrigProgNo, k);
            int expected[kProgParamCount];
            CProgParamColumn::decodePackedData(c.bytes.data() + k * kProgDumpSize + 9, expected);
            for (int i = 0; i < kProgParamCount; ++i)
                ASSERT_EQ(rec->getProgParam(i), expected[i]) << "row " << 100 + k;
        }
        for (int r = 0; r < 100; ++r)
            ASSERT_EQ(rowValues(table, r), progValues(7, r)) << "user row " << r;
        EXPECT_EQ(selectedRows(table), std::vector<int>{c.selectFirst ? 100 : 5});
        table.Close();
        table.selectRow(5);
    }
}

TEST_F(ReaderFixture, FilesFollowEachOtherBelowExistingRows)
{
    const auto f = write("Live.ksqx", savedBlock());
    table.openWithFile(f, true);
    table.openWithFile(f, true);
    ASSERT_EQ(table.getNumRows(), 300);
    EXPECT_EQ(table.getRecord(299)->getFileName(), "Live");
    EXPECT_EQ(table.getRecord(299)->m_iOrigProgNo, 99);
    EXPECT_EQ(selectedRows(table), std::vector<int>{200});
}

TEST_F(ReaderFixture, UnreadableFileIsRefusedAsWrongSize)
{
    const auto f = write("Locked.ksqx", savedBlock());
    ASSERT_EQ(chmod(f.getFullPathName().toRawUTF8(), 0), 0);
    std::vector<unsigned char> readBefore(table.m_ucReadProgData, table.m_ucReadProgData + kProgDumpBlockSize);

    // Root reads anything: look at the file as an ordinary user instead.
    const bool asRoot = geteuid() == 0;
    if (asRoot && seteuid(65534) != 0)
        GTEST_SKIP() << "cannot drop privileges to simulate an unreadable file";
    const bool seesFile = f.existsAsFile() && f.getSize() == kProgDumpBlockSize;
    table.openWithFile(f, true);
    if (asRoot)
        ASSERT_EQ(seteuid(0), 0);

    if (!seesFile)
        GTEST_SKIP() << "the temporary folder is not reachable as an ordinary user";
    expectOneBox("Illegal File Size!");
    expectUnchanged(readBefore);
}

TEST_F(ReaderFixture, FileChangingSizeWhileReadIsAddedWholeOrRefused)
{
    const auto saved = savedBlock();
    const auto f = write("Moving.ksqx", saved);
    const std::string path = f.getFullPathName().toStdString();
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        const off_t sizes[] = {4699, 4700, 4701, 4700};
        for (int i = 0; !stop; ++i)
            if (truncate(path.c_str(), sizes[i % 4]) != 0)
                break;
    });
    int added = 0, refused = 0;
    for (int n = 0; n < 300; ++n)
    {
        boxes.boxes.clear();
        table.openWithFile(f, false);
        if (table.getNumRows() == 200)
        {
            ++added;
            ASSERT_TRUE(boxes.boxes.empty());
            for (int k = 0; k < 100; ++k)
            {
                int expected[kProgParamCount];
                CProgParamColumn::decodePackedData(saved.data() + k * kProgDumpSize + 9, expected);
                for (int i = 0; i < kProgParamCount; ++i)
                    ASSERT_EQ(table.getRecord(100 + k)->getProgParam(i), expected[i]);
            }
            table.Close();
        }
        else
        {
            ++refused;
            ASSERT_EQ(table.getNumRows(), 100);
            ASSERT_EQ(boxes.boxes.size(), 1u);
            ASSERT_EQ(boxes.boxes[0].message, "Illegal File Size!");
        }
    }
    stop = true;
    changer.join();
    EXPECT_EQ(added + refused, 300);
}
