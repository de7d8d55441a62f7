// Receive and Transmit from the command to the last program, against the
// emulated unit: the questions, the refusal before the unit has answered,
// the programs that arrive in the user area and those that reach the unit.
// The unit answers from its own thread; the message loop runs meanwhile, as
// the link's handler and the hand-over timer need it.
#include "CMidiSetupComponent.h"
#include "CProgNameTable.h"
#include "CProgressDialogComponent.h"
#include "CommandTestSupport.h"
#include "EmulatedUnit.h"
#include "ProgTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
using Bytes = EmulatedUnit::Bytes;
using Values = std::array<int, kProgParamCount>;

constexpr int kWait = 15000; // only a broken chain waits this long

constexpr int kTransmit = ActionManager::kCmdTransmit;
constexpr int kReceive = ActionManager::kCmdReceive;

const char* const kReceiveText = "This command will overwrite current list. Are you sure?";
const char* const kTransmitText = "This command will overwrite 100 programs of your Kestrum QX. Are you sure?";

Values valuesOfDump(const juce::uint8* dump)
{
    Values v{};
    CProgParamColumn::decodePackedData(dump + 9, v.data());
    return v;
}

void expectConnectionError(const CDialogUtil::Box& box)
{
    EXPECT_FALSE(box.okCancel);
    EXPECT_EQ(box.icon, juce::MessageBoxIconType::QuestionIcon);
    EXPECT_EQ(box.title, "MIDI Connection Error:");
    EXPECT_EQ(box.message, "Target Not Found.");
    EXPECT_EQ(box.button1, "  OK  ");
}

void expectQuestion(const CDialogUtil::Box& box, int command)
{
    EXPECT_TRUE(box.okCancel);
    EXPECT_EQ(box.icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ(box.title, command == kReceive ? "Receive:" : "Transmit:");
    EXPECT_EQ(box.message, command == kReceive ? kReceiveText : kTransmitText);
    EXPECT_EQ(box.button1, command == kReceive ? "  OK  " : " OK ");
    EXPECT_EQ(box.button2, "Cancel");
}

// The parts a transfer touches, wired as the content component wires them,
// with the emulated unit on the link. The user area holds programs of seed
// 3, one library file of seed 4 lies below it.
struct Transfer : ::testing::Test
{
    BoxRecorder boxes;
    juce::Component parent;
    std::unique_ptr<CProgNameTable> table = std::make_unique<CProgNameTable>();
    CProgressDialogComponent* progress = new CProgressDialogComponent();
    std::unique_ptr<CMidiSetupComponent> link = std::make_unique<CMidiSetupComponent>();
    std::unique_ptr<EmulatedUnit> unit = std::make_unique<EmulatedUnit>(*link);
    ActionManager actions;

    Transfer()
    {
        link->openMIDIPort();
        parent.setSize(800, 600);
        parent.addChildComponent(progress);
        table->setSize(800, 600);
        table->initialize();
        const auto user = progBlock(3);
        std::copy(user.begin(), user.end(), table->m_ucReadProgData);
        table->UpdateUserProg();
        auto lib = progBlock(4);
        for (int k = 0; k < kUserProgCount; ++k)
        {
            table->Add(lib.data() + k * kProgDumpSize + 9);
            table->setFileName(kUserProgCount + k, "Lib");
            table->setOrigProgNo(kUserProgCount + k, k);
        }
        table->setMidiSetupComponent(link.get());

        link->m_pActionManager = &actions;
        actions.setProgNameTable(table.get());
        actions.setMenuEnable(true);
        actions.setMidiSetupComponent(link.get());
        actions.setProgressDialogComponent(progress);
    }

    ~Transfer() override
    {
        // The link goes before the unit, and neither reports any more once
        // the link is gone.
        link.reset();
        unit.reset();
        actions.setMidiSetupComponent(nullptr);
        parent.removeChildComponent(progress);
        delete progress;
    }

    void connect()
    {
        link->sendDevInqRequest();
        ASSERT_TRUE(pumpUntil([this] { return link->m_bConnected && unit->idle(); }, kWait));
    }

    std::vector<Values> rows(int from, int count)
    {
        std::vector<Values> v;
        for (int r = from; r < from + count; ++r)
            v.push_back(rowValues(*table, r));
        return v;
    }

    std::vector<int> sentNumbers(juce::uint8 function) const
    {
        std::vector<int> numbers;
        for (const auto& m : unit->received())
            if (m.size() > 8 && m[6] == function)
                numbers.push_back(m[8]);
        return numbers;
    }

    size_t sentCount() const { return unit->received().size(); }
};

std::vector<int> zeroTo99()
{
    std::vector<int> v;
    for (int i = 0; i < kUserProgCount; ++i)
        v.push_back(i);
    return v;
}
} // namespace

TEST_F(Transfer, RefusedUntilTheUnitHasAnswered)
{
    const auto before = rows(0, 2 * kUserProgCount);
    link->m_iTxProgNo = 42;

    for (int command : {kReceive, kTransmit})
    {
        SCOPED_TRACE(command);
        boxes.boxes.clear();
        EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
        ASSERT_EQ(boxes.boxes.size(), 2u);
        expectQuestion(boxes.boxes[0], command);
        expectConnectionError(boxes.boxes[1]);
    }
    EXPECT_EQ(link->m_iTxProgNo, 0) << "Transmit resets its counter before it checks";

    // Start-up asks no question, and is refused the same way.
    boxes.boxes.clear();
    actions.executeRxProg();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    expectConnectionError(boxes.boxes[0]);

    pumpMessages(300);
    EXPECT_EQ(sentCount(), 0u) << "nothing is sent";
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(rows(0, 2 * kUserProgCount), before);
}

TEST_F(Transfer, CancelSendsNothing)
{
    connect();
    const size_t sentBefore = sentCount();
    for (int command : {kReceive, kTransmit})
    {
        SCOPED_TRACE(command);
        boxes.boxes.clear();
        boxes.answers = {false};
        EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        expectQuestion(boxes.boxes[0], command);
    }
    pumpMessages(300);
    EXPECT_EQ(sentCount(), sentBefore);
    EXPECT_FALSE(progress->isVisible());
}

TEST_F(Transfer, ReceptionPutsTheUnitsProgramsIntoTheUserArea)
{
    connect();
    const auto library = rows(kUserProgCount, kUserProgCount);
    std::vector<Values> unitPrograms;
    for (int p = 0; p < kUserProgCount; ++p)
        unitPrograms.push_back(valuesOfDump(unit->programDump(p).data()));

    // The command after its question, and start-up without one.
    for (bool fromCommand : {true, false})
    {
        SCOPED_TRACE(fromCommand ? "Receive command" : "start-up");
        const auto user = progBlock(3);
        std::copy(user.begin(), user.end(), table->m_ucReadProgData);
        table->UpdateUserProg();
        ASSERT_NE(rows(0, kUserProgCount), unitPrograms);
        boxes.boxes.clear();
        const size_t requestsBefore = sentNumbers(0x1C).size();
        setSelection(*table, {150, 151}, 151);

        if (fromCommand)
            EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(kReceive)));
        else
            actions.executeRxProg();
        ASSERT_EQ(boxes.boxes.size(), fromCommand ? 1u : 0u);
        EXPECT_TRUE(progress->isVisible());

        ASSERT_TRUE(pumpUntil([&] { return rows(0, kUserProgCount) == unitPrograms; }, kWait));
        EXPECT_EQ(actions.m_iReqID, 0) << "the hand-over ran once";
        EXPECT_EQ(selectedRows(*table), std::vector<int>{0});
        EXPECT_EQ(table->getLastRowSelected(), 0);
        for (int r = 0; r < kUserProgCount; ++r)
        {
            EXPECT_EQ(table->getRecord(r)->m_iOrigProgNo, r);
            EXPECT_TRUE(table->getRecord(r)->getFileName().isEmpty());
        }
        EXPECT_EQ(rows(kUserProgCount, kUserProgCount), library) << "library rows stay";
        EXPECT_EQ(table->getNumRows(), 2 * kUserProgCount);

        const auto requests = sentNumbers(0x1C);
        EXPECT_EQ(std::vector<int>(requests.begin() + (long) requestsBefore, requests.end()), zeroTo99());
        EXPECT_TRUE(sentNumbers(0x40).empty()) << "selecting row 0 sends no current program";
        EXPECT_TRUE(pumpUntil([&] { return !progress->isVisible(); }, kWait)) << "the panel closes after 100 %";
    }
}

TEST_F(Transfer, TransmissionSendsTheUserAreaAndNoLibraryRow)
{
    connect();
    setSelection(*table, {120, 130, 140}, 140); // library rows selected
    std::vector<Values> userArea = rows(0, kUserProgCount);

    boxes.answers = {true};
    EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(kTransmit)));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(progress->isVisible());
    ASSERT_TRUE(pumpUntil([&] { return !link->m_bTxAllProg && unit->idle(); }, kWait));

    EXPECT_EQ(sentNumbers(0x4C), zeroTo99()) << "every user program once, in order";
    const Bytes onUnit = unit->programBlock();
    ASSERT_EQ(onUnit.size(), (size_t) kProgDumpBlockSize);
    for (int p = 0; p < kUserProgCount; ++p)
    {
        ASSERT_EQ(valuesOfDump(onUnit.data() + p * kProgDumpSize), userArea[(size_t) p]) << "program " << p;
        ASSERT_EQ(onUnit[(size_t) (p * kProgDumpSize + 8)], p);
    }
    EXPECT_EQ(link->m_iTxProgNo, kUserProgCount);
    EXPECT_TRUE(pumpUntil([&] { return !progress->isVisible(); }, kWait));
}

TEST_F(Transfer, HandOverCopiesTheReceiveBufferOnceOnTheMessageThread)
{
    // The link's receive buffer as a finished reception leaves it.
    const auto received = progBlock(9);
    std::copy(received.begin(), received.end(), link->m_ucRxProgData);
    setSelection(*table, {5, 6}, 6);

    actions.setReqID_RxFinish();
    EXPECT_EQ(actions.m_iReqID, 1);
    EXPECT_NE(rowValues(*table, 0), progValues(9, 0)) << "nothing before the timer";
    ASSERT_TRUE(pumpUntil([&] { return actions.m_iReqID == 0; }, kWait));
    for (int r = 0; r < kUserProgCount; ++r)
        ASSERT_EQ(rowValues(*table, r), progValues(9, r)) << r;
    EXPECT_EQ(selectedRows(*table), std::vector<int>{0});

    // The timer stopped: a later change of the buffer stays there.
    const auto other = progBlock(10);
    std::copy(other.begin(), other.end(), link->m_ucRxProgData);
    pumpMessages(300);
    EXPECT_EQ(rowValues(*table, 0), progValues(9, 0));
    EXPECT_EQ(sentCount(), 0u);
}
