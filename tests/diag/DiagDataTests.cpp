#include "ChildProcess.h"
#include "DiagData.h"
#include "Sentry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using namespace kelvora_core;

namespace {

// A process that rewrites each field of the block right after the library
// read it, to a value that a second read would follow.
void raceAfterRead(const volatile void* field) {
    auto* first = const_cast<unsigned char*>(static_cast<const volatile unsigned char*>(field));
    *first = static_cast<unsigned char>((*first + 37) % 64);
}

// A block of its own per case, so that the family's block is not touched.
class DiagDataTest : public ::testing::Test {
protected:
    void TearDown() override { detail::afterBlockRead = nullptr; }
    void SetUp() override {
        static int serial = 0;
        m_name = "kelvora_test_diag_" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(++serial);
        m_data = std::make_unique<CDiagData>(m_name, m_name + "_event");
        ASSERT_NE(nullptr, m_data->getData());
    }
    _tagDiagData& raw() { return *static_cast<_tagDiagData*>(m_data->getData()); }
    void add(const std::string& line) { m_data->addEvent(DiagEventLog::InfoEvent, line); }
    std::vector<std::string> takeAll() {
        std::vector<std::string> lines;
        DiagEventLog::DiagEvent event;
        std::string line;
        while (m_data->getNextEvent(event, line))
            lines.push_back(line);
        return lines;
    }

    std::string m_name;
    std::unique_ptr<CDiagData> m_data;
};

} // namespace

TEST_F(DiagDataTest, NewBlockIsEmptyAndInactive) {
    EXPECT_FALSE(m_data->existed());
    EXPECT_FALSE(m_data->isLoggingActive());
    EXPECT_EQ(0u, raw().writeIndex);
    EXPECT_EQ(0u, raw().readIndex);
    EXPECT_TRUE(takeAll().empty());
}

TEST_F(DiagDataTest, LoggingFlagIsOneByte) {
    m_data->setLoggingActive(true);
    EXPECT_EQ(1, raw().loggingActive);
    EXPECT_TRUE(m_data->isLoggingActive());
    raw().loggingActive = 7;
    EXPECT_TRUE(m_data->isLoggingActive());
    m_data->setLoggingActive(false);
    EXPECT_EQ(0, raw().loggingActive);
}

TEST_F(DiagDataTest, LinesComeOutInOrderAndDrainingResetsBothIndexes) {
    m_data->addEvent(DiagEventLog::Start, "one");
    add("two");
    EXPECT_EQ(2u, raw().writeIndex);
    EXPECT_EQ(Signaled, m_data->blockEvent().wait(0));
    DiagEventLog::DiagEvent event = DiagEventLog::InvalidEvent;
    std::string line;
    ASSERT_TRUE(m_data->getNextEvent(event, line));
    EXPECT_EQ(DiagEventLog::Start, event);
    EXPECT_EQ("one", line);
    EXPECT_EQ(1u, raw().readIndex);
    ASSERT_TRUE(m_data->getNextEvent(event, line));
    EXPECT_EQ("two", line);
    EXPECT_EQ(0u, raw().readIndex);
    EXPECT_EQ(0u, raw().writeIndex);
    add("three");
    EXPECT_STREQ("three", raw().events[0].text);
}

TEST_F(DiagDataTest, EachFieldIsReadOnceWhateverARacerWritesAfterTheRead) {
    detail::afterBlockRead = raceAfterRead;
    EXPECT_FALSE(m_data->isLoggingActive());
    add("one");
    EXPECT_EQ(1u, raw().writeIndex);
    raw().readIndex = 0; // the racer moved it
    EXPECT_EQ(std::vector<std::string>{"one"}, takeAll());
    EXPECT_EQ(0u, raw().readIndex | raw().writeIndex);
}

TEST_F(DiagDataTest, SixtyFourWaitingLinesAreLostAndTheNextIsTaken) {
    for (int i = 0; i < 64; ++i)
        add("line " + std::to_string(i));
    EXPECT_EQ(0u, raw().writeIndex);
    EXPECT_TRUE(takeAll().empty());
    add("line 64");
    EXPECT_EQ(std::vector<std::string>{"line 64"}, takeAll());
}

TEST_F(DiagDataTest, LinesAreCutTo4095Characters) {
    const std::string longest(4095, 'a');
    add(longest);
    add(std::string(4095, 'b') + "c");
    const auto lines = takeAll();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(longest, lines[0]);
    EXPECT_EQ(std::string(4095, 'b'), lines[1]);
}

TEST_F(DiagDataTest, OutOfRangeIndexesAreRepairedNotFollowed) {
    const std::string longest(4095, 'x'); // would run past the block's end from slot 64
    for (uint32_t index : {64u, 1000u, 0xFFFFFFFFu}) {
        raw().writeIndex = index;
        add(longest);
        EXPECT_LT(raw().writeIndex, 64u);
        EXPECT_EQ(std::vector<std::string>{longest}, takeAll()) << "write index " << index;
        raw().readIndex = index;
        raw().writeIndex = 3;
        EXPECT_TRUE(takeAll().empty()) << "read index " << index;
        EXPECT_EQ(0u, raw().readIndex);
        EXPECT_EQ(0u, raw().writeIndex);
    }
}

TEST_F(DiagDataTest, SlotTextWithoutZeroByteIsReadToTheSlotsEnd) {
    std::memset(raw().events[0].text, 'z', sizeof raw().events[0].text);
    raw().events[1].event = 0x79797979; // no zero byte either after the slot
    std::memset(raw().events[1].text, 'y', sizeof raw().events[1].text);
    raw().writeIndex = 1;
    const auto lines = takeAll();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(std::string(4096, 'z'), lines[0]);
}

TEST_F(DiagDataTest, ForeignEventNumbersPassThrough) {
    m_data->addEvent(static_cast<DiagEventLog::DiagEvent>(-5), "odd");
    DiagEventLog::DiagEvent event = DiagEventLog::Start;
    std::string line;
    ASSERT_TRUE(m_data->getNextEvent(event, line));
    EXPECT_EQ(-5, static_cast<int>(event));
}

TEST_F(DiagDataTest, SecondOpenerKeepsTheContents) {
    m_data->setLoggingActive(true);
    add("kept");
    CDiagData second(m_name, m_name + "_event");
    EXPECT_TRUE(second.existed());
    EXPECT_TRUE(second.isLoggingActive());
    DiagEventLog::DiagEvent event;
    std::string line;
    ASSERT_TRUE(second.getNextEvent(event, line));
    EXPECT_EQ("kept", line);
    EXPECT_EQ(Signaled, second.blockEvent().wait(0)); // one event shared by name
}

TEST_F(DiagDataTest, AbandonedMutexDoesNotStopTheBlock) {
    const auto peer = test_support::runProcess(test_support::besideThisProgram("core_peer.exe") +
                                               " abandon-mutex " + m_name + "_mutex");
    ASSERT_TRUE(peer.finished);
    add("still working");
    EXPECT_EQ(std::vector<std::string>{"still working"}, takeAll());
    CMutex mutex((m_name + "_mutex").c_str());
    std::thread([&] {
        EXPECT_EQ(Signaled, mutex.wait(0));
        mutex.release();
    }).join();
}

TEST(DiagDataUnmapped, EveryOperationIsAHarmlessNoOp) {
    const std::string name = "kelvora_test_diag_clash_" + std::to_string(GetCurrentProcessId());
    HANDLE clash = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    {
        CDiagData data(name, name + "_event");
        EXPECT_EQ(nullptr, data.getData());
        data.setLoggingActive(true);
        EXPECT_FALSE(data.isLoggingActive());
        data.addEvent(DiagEventLog::InfoEvent, "dropped");
        DiagEventLog::DiagEvent event;
        std::string line;
        EXPECT_FALSE(data.getNextEvent(event, line));
    }
    CloseHandle(clash);
}
