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
    std::unique_ptr<EmulatedUnit> unit;
    ActionManager actions;

    explicit Transfer(EmulatedUnit::Backend backend = EmulatedUnit::Backend::Alsa)
        : unit(std::make_unique<EmulatedUnit>(*link, 1, backend))
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

    EXPECT_TRUE(holdsFor([&] { return sentCount() == 0 && !progress->isVisible(); }, 300)) << "nothing is sent";
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
    EXPECT_TRUE(holdsFor([&] { return sentCount() == sentBefore && !progress->isVisible(); }, 300));
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
    EXPECT_TRUE(holdsFor([&] { return rowValues(*table, 0) == progValues(9, 0) && sentCount() == 0; }, 300));
}

//==============================================================================
// MIDI Setup's OK pressed while a Receive or a Transmit runs. Menus stay
// enabled during a transfer and the progress panel does not cover the panel,
// so a user who checks the ports presses OK at any moment of it.

namespace
{
// Where a transfer is when OK is pressed: the unit's answer to program p
// has reached the link, which has not handled it yet (the message thread is
// held); the unit answers after OK, while the ports wait for the exchange to
// be quiet; it answers only once the link has given up waiting and replaced
// the ports; or it answers while the link closes a port, after the wait.
enum class Moment
{
    AnswerArrived,
    AnswerDuringTheWait,
    AnswerAfterTheWait,
    AnswerDuringTheChange
};

struct Press
{
    int progNo;
    Moment moment;
    // The device chosen for both ports at this press; the unit's if null.
    const juce::MidiDeviceInfo* device = nullptr;
};

// The unit's answer to program `press.progNo`, held back by the unit, comes
// at the press's moment around OK.
void pressOkAt(Transfer& t, const Press& press, const std::vector<Bytes>& flood)
{
    ASSERT_TRUE(pumpUntil([&] { return t.unit->heldCount() == 1 && t.unit->idle(); }, kWait))
        << "the transfer reached program " << press.progNo;
    const auto device = press.device != nullptr ? *press.device : EmulatedUnit::unitDevice();
    EmulatedUnit::choosePorts(*t.link, device, device);
    const int openings = t.unit->inputOpenings();
    if (press.moment == Moment::AnswerArrived)
    {
        const int delivered = t.unit->answersDelivered();
        t.unit->answerLate();
        ASSERT_TRUE(waitUntil([&] { return t.unit->answersDelivered() > delivered; }, kWait));
        if (!flood.empty())
            t.unit->startFlood(flood);
    }
    if (press.moment == Moment::AnswerDuringTheChange)
        t.unit->answerAtNextPortChange();
    {
        Watchdog watchdog("OK during a transfer");
        t.link->buttonClicked(t.link->m_pOKButton);
    }
    if (press.moment == Moment::AnswerDuringTheWait)
        t.unit->answerLate();
    // The ports are replaced (the held answer comes in the middle of that)
    // although the unit is silent. The transfer may have gone on to the next
    // held answer by the time this is seen.
    if (press.moment == Moment::AnswerDuringTheChange || press.moment == Moment::AnswerAfterTheWait)
        ASSERT_TRUE(pumpUntil([&] { return t.unit->inputOpenings() > openings; }, kWait));
    if (press.moment == Moment::AnswerAfterTheWait)
        t.unit->answerLate();
}

// Numbers as runs, "0-49 51-99", so that a failure shows what is missing.
std::string runs(const std::vector<int>& numbers)
{
    std::string text;
    for (size_t i = 0; i < numbers.size();)
    {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        text += (text.empty() ? "" : " ") + std::to_string(numbers[i]);
        if (j > i)
            text += "-" + std::to_string(numbers[j]);
        i = j + 1;
    }
    return text;
}

// A transfer about to start: the user area filled with programs unlike the
// unit's, so that both a hand-over and a transmission show, and what it is
// checked against afterwards.
struct Start
{
    Transfer& t;
    int command;
    std::vector<Values> userArea, unitPrograms, library;
    size_t sentBefore;
    std::vector<int> reports;
    double panelAtLastReport = 0.0; // the panel resets its bar when it fades

    Start(Transfer& transfer, int cmd, int seed) : t(transfer), command(cmd)
    {
        const auto user = progBlock(seed);
        std::copy(user.begin(), user.end(), t.table->m_ucReadProgData);
        t.table->UpdateUserProg();
        userArea = t.rows(0, kUserProgCount);
        for (int p = 0; p < kUserProgCount; ++p)
            unitPrograms.push_back(valuesOfDump(t.unit->programDump(p).data()));
        library = t.rows(kUserProgCount, kUserProgCount);
        sentBefore = t.sentNumbers(function()).size();
        t.boxes.boxes.clear();
        t.link->setReportObserver([this](int percent, bool handOver) {
            if (!handOver)
                reports.push_back(percent);
            panelAtLastReport = t.progress->m_dProgress;
        });
    }
    ~Start() { t.link->setReportObserver(nullptr); }
    Start(const Start&) = delete;
    Start& operator=(const Start&) = delete;

    juce::uint8 function() const { return command == kReceive ? 0x1C : 0x4C; }

    // The program numbers the unit has been asked for or sent since.
    std::string sent() const
    {
        const auto numbers = t.sentNumbers(function());
        return runs(std::vector<int>(numbers.begin() + (long) sentBefore, numbers.end()));
    }

    bool finished() const
    {
        return command == kReceive ? t.rows(0, kUserProgCount) == unitPrograms && t.actions.m_iReqID == 0
                                   : !t.link->m_bTxAllProg && t.unit->idle();
    }

    // The whole transfer done once, in lock-step, and the panel gone.
    void expectCompleted() const
    {
        EXPECT_EQ(sent(), "0-99") << "every program once, in order";
        EXPECT_EQ(runs(reports), "1-100");
        EXPECT_EQ(panelAtLastReport, 1.0);
        if (command == kReceive)
            EXPECT_TRUE(t.rows(0, kUserProgCount) == unitPrograms) << "handed over to the table";
        else
        {
            EXPECT_EQ(programsOnTheUnit(), kUserProgCount) << "programs of the user area on the unit";
            EXPECT_EQ(t.link->m_iTxProgNo, kUserProgCount);
        }
        EXPECT_TRUE(t.rows(kUserProgCount, kUserProgCount) == library);
        EXPECT_EQ(t.boxes.boxes.size(), 1u) << "the command's question only";
        EXPECT_EQ(t.unit->mostOutstanding(), 1) << "never a second message before the answer";
        EXPECT_EQ(t.unit->sendsFromDeliveries(), 0) << "nothing is sent from inside a delivery";
        EXPECT_EQ(t.unit->secondOpens(), 0) << "a device's input is closed before it is opened again";
        EXPECT_FALSE(t.unit->inputDeaf());
        EXPECT_TRUE(pumpUntil([&] { return !t.progress->isVisible(); }, kWait)) << "the panel fades after 100 %";
    }

    int programsOnTheUnit() const
    {
        int n = 0;
        for (int p = 0; p < kUserProgCount; ++p)
            n += valuesOfDump(t.unit->programDump(p).data()) == userArea[(size_t) p] ? 1 : 0;
        return n;
    }
};

// The Transfer parts with the emulated unit modelled on one backend.
struct TransferOn : Transfer, ::testing::WithParamInterface<EmulatedUnit::Backend>
{
    TransferOn() : Transfer(GetParam()) {}
};

// OK at any such moment leaves the transfer to complete: every program asked
// for or sent exactly once and in lock-step, progress reported from 1 to
// 100, the programs handed over to the table or all acknowledged, the panel
// at 100 % before it fades; nothing is sent from inside a delivery, and the
// input is opened afresh at every OK and never goes deaf.
void okDuringATransferLeavesItToComplete(Transfer& t, int command)
{
    t.connect();
    const juce::uint8 foreignSysEx[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    const std::vector<Bytes> flood = {{0x90, 0x40, 0x7F}, {0x80, 0x40, 0x00},
                                      Bytes(std::begin(foreignSysEx), std::end(foreignSysEx)),
                                      EmulatedUnit::standardIdentityReply()};
    struct Case
    {
        const char* name;
        std::vector<Press> presses;
        bool flood;
    };
    const std::vector<Case> cases = {
        {"answer to the first program arrived", {{0, Moment::AnswerArrived}}, false},
        {"answer in the middle arrived", {{50, Moment::AnswerArrived}}, false},
        {"answer to the last program arrived", {{99, Moment::AnswerArrived}}, false},
        {"answer while the ports wait", {{50, Moment::AnswerDuringTheWait}}, false},
        {"answer after the wait", {{50, Moment::AnswerAfterTheWait}}, false},
        {"answer while the ports change", {{50, Moment::AnswerDuringTheChange}}, false},
        {"OK again and again",
         {{10, Moment::AnswerArrived}, {40, Moment::AnswerDuringTheChange}, {70, Moment::AnswerDuringTheWait},
          {99, Moment::AnswerAfterTheWait}},
         false},
        {"answer arrived, then a flood", {{50, Moment::AnswerArrived}}, true},
    };
    int seed = 20;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Start start(t, command, seed++);
        const int inputOpenings = t.unit->inputOpenings();
        for (const auto& press : c.presses)
            t.unit->holdAnswerFor(press.progNo);
        EXPECT_TRUE(t.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
        for (const auto& press : c.presses)
        {
            SCOPED_TRACE(press.progNo);
            pressOkAt(t, press, c.flood ? flood : std::vector<Bytes>{});
            if (::testing::Test::HasFatalFailure())
                return;
        }
        EXPECT_TRUE(pumpUntil([&] { return start.finished(); }, kWait));
        t.unit->stopFlood();
        ASSERT_TRUE(pumpUntil([&] { return t.unit->idle(); }, kWait));
        start.expectCompleted();
        EXPECT_EQ(t.unit->inputOpenings(), inputOpenings + (int) c.presses.size()) << "opened afresh at every OK";
    }
}

// The unit switched off and on (or its cable pulled and plugged in again)
// is back under the same identifier, but the ports open on it are dead: a
// transfer started then goes nowhere, and OK with the choice unchanged is
// how the user reconnects it. Whether it went away while the link was idle
// or in the middle of a transfer (whose answer then never comes), after OK
// the same command completes.
void okReconnectsAUnitThatCameBack(Transfer& t, int command)
{
    t.connect();
    for (const bool midTransfer : {false, true})
    {
        SCOPED_TRACE(midTransfer ? "in the middle of a transfer" : "while idle");
        if (midTransfer)
        {
            Start stalled(t, command, 50);
            t.unit->holdAnswerFor(30);
            EXPECT_TRUE(t.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
            ASSERT_TRUE(pumpUntil([&] { return t.unit->heldCount() == 1 && t.unit->idle(); }, kWait));
            t.unit->goAwayAndComeBack();
        }
        else
        {
            t.unit->goAwayAndComeBack();
            Start unheard(t, command, 51);
            const int unheardBefore = t.unit->unheardCount();
            EXPECT_TRUE(t.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
            EXPECT_TRUE(pumpUntil([&] { return !t.progress->isVisible(); }, kWait)) << "the panel fades";
            EXPECT_EQ(t.unit->unheardCount() - unheardBefore, 1) << "the first message went nowhere";
            EXPECT_TRUE(t.rows(0, kUserProgCount) == unheard.userArea);
        }

        const int openings = t.unit->inputOpenings();
        {
            Watchdog watchdog("OK after the unit came back");
            t.link->buttonClicked(t.link->m_pOKButton);
        }
        ASSERT_TRUE(pumpUntil([&] { return t.unit->inputOpenings() > openings && t.unit->idle(); }, kWait));

        Start again(t, command, midTransfer ? 52 : 53);
        EXPECT_TRUE(t.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
        EXPECT_TRUE(pumpUntil([&] { return again.finished(); }, kWait));
        ASSERT_TRUE(pumpUntil([&] { return t.unit->idle(); }, kWait));
        again.expectCompleted();
    }
}

// The unit reached through both devices (a thru box, a routed port): OK
// switching from one to the other and back in the middle of a transfer,
// with the answer arriving while the two inputs are open side by side or
// waiting in the link, hands each message over once.
void switchingBetweenInputsThatBothReachTheUnit(Transfer& t, int command)
{
    t.connect();
    t.unit->setAlsoOnOtherDevice(true);
    const auto other = EmulatedUnit::otherDevice(), unitDevice = EmulatedUnit::unitDevice();
    const std::vector<Press> presses = {{20, Moment::AnswerDuringTheChange, &other},
                                        {40, Moment::AnswerArrived, &unitDevice},
                                        {60, Moment::AnswerDuringTheWait, &other},
                                        {80, Moment::AnswerDuringTheChange, &unitDevice}};
    Start start(t, command, 60);
    for (const auto& press : presses)
        t.unit->holdAnswerFor(press.progNo);
    EXPECT_TRUE(t.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
    for (const auto& press : presses)
    {
        SCOPED_TRACE(press.progNo);
        pressOkAt(t, press, {});
        if (::testing::Test::HasFatalFailure())
            return;
    }
    EXPECT_TRUE(pumpUntil([&] { return start.finished(); }, kWait));
    ASSERT_TRUE(pumpUntil([&] { return t.unit->idle(); }, kWait));
    start.expectCompleted();
}

// The ports changed to the other device while a transfer runs, with the
// unit's answer arrived: OK returns at once. Where the unit is absent, the
// transfer stops there without a word (the answer that came meanwhile is
// still taken, the next message goes to the other device), the progress
// panel fades, the table keeps its rows, and once the unit's ports are
// chosen again the same command completes. Where the unit is on the other
// device too, the transfer goes on there and completes.
void portsChangedToAnotherDeviceMidTransfer(Transfer& t, int command)
{
    t.connect();
    const auto unitDevice = EmulatedUnit::unitDevice(), otherDevice = EmulatedUnit::otherDevice();
    for (const bool unitThere : {false, true})
    {
        SCOPED_TRACE(unitThere ? "the unit on the other device too" : "the unit absent from the other device");
        t.unit->setAlsoOnOtherDevice(unitThere);
        Start start(t, command, unitThere ? 40 : 41);
        t.unit->holdAnswerFor(30);
        EXPECT_TRUE(t.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
        const int unheardBefore = t.unit->unheardCount();
        pressOkAt(t, {30, Moment::AnswerArrived, &otherDevice}, {});
        ASSERT_TRUE(pumpUntil([&] { return t.unit->openInputs() == std::vector<juce::String>{otherDevice.identifier}; },
                              kWait));

        if (unitThere)
        {
            EXPECT_TRUE(pumpUntil([&] { return start.finished(); }, kWait));
            ASSERT_TRUE(pumpUntil([&] { return t.unit->idle(); }, kWait));
            start.expectCompleted();
        }
        else
        {
            EXPECT_TRUE(pumpUntil([&] { return !t.progress->isVisible(); }, kWait)) << "the panel fades";
            EXPECT_EQ(start.sent(), "0-30");
            EXPECT_EQ(runs(start.reports), "1-31") << "the answer that arrived was taken";
            EXPECT_EQ(t.unit->unheardCount() - unheardBefore, 2) << "the next message and the identity request";
            EXPECT_TRUE(t.rows(0, kUserProgCount) == start.userArea) << "the table keeps its rows";
            if (command == kTransmit)
                EXPECT_EQ(start.programsOnTheUnit(), 31);
            EXPECT_EQ(t.boxes.boxes.size(), 1u) << "no box";
            EXPECT_FALSE(t.unit->inputDeaf());
        }

        EmulatedUnit::choosePorts(*t.link, unitDevice, unitDevice);
        t.link->buttonClicked(t.link->m_pOKButton);
        ASSERT_TRUE(pumpUntil([&] { return t.unit->openInputs() == std::vector<juce::String>{unitDevice.identifier}; },
                              kWait));
        if (unitThere)
            continue;
        Start again(t, command, 42);
        EXPECT_TRUE(t.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
        EXPECT_TRUE(pumpUntil([&] { return again.finished(); }, kWait));
        ASSERT_TRUE(pumpUntil([&] { return t.unit->idle(); }, kWait));
        again.expectCompleted();
    }
}
} // namespace

TEST_P(TransferOn, OkInMidiSetupLeavesAReceptionToComplete) { okDuringATransferLeavesItToComplete(*this, kReceive); }

TEST_P(TransferOn, OkInMidiSetupLeavesATransmissionToComplete) { okDuringATransferLeavesItToComplete(*this, kTransmit); }

TEST_P(TransferOn, OkReconnectsAUnitThatCameBackForAReception) { okReconnectsAUnitThatCameBack(*this, kReceive); }

TEST_P(TransferOn, OkReconnectsAUnitThatCameBackForATransmission) { okReconnectsAUnitThatCameBack(*this, kTransmit); }

TEST_P(TransferOn, SwitchingBetweenInputsThatBothReachTheUnitHandsEachMessageOverOnceInAReception)
{
    switchingBetweenInputsThatBothReachTheUnit(*this, kReceive);
}

TEST_P(TransferOn, SwitchingBetweenInputsThatBothReachTheUnitHandsEachMessageOverOnceInATransmission)
{
    switchingBetweenInputsThatBothReachTheUnit(*this, kTransmit);
}

TEST_P(TransferOn, PortsChangedToAnotherDeviceDuringAReceptionNeverHang)
{
    portsChangedToAnotherDeviceMidTransfer(*this, kReceive);
}

TEST_P(TransferOn, PortsChangedToAnotherDeviceDuringATransmissionNeverHang)
{
    portsChangedToAnotherDeviceMidTransfer(*this, kTransmit);
}

INSTANTIATE_TEST_SUITE_P(, TransferOn, ::testing::Values(EmulatedUnit::Backend::Alsa, EmulatedUnit::Backend::WinMM),
                         [](const ::testing::TestParamInfo<EmulatedUnit::Backend>& info) {
                             return info.param == EmulatedUnit::Backend::Alsa ? "Alsa" : "WinMM";
                         });
