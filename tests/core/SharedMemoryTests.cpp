#include "ChildProcess.h"
#include "Sentry.h"
#include "SharedMemory.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <winternl.h>

#include <string>
#include <thread>

using namespace kelvora_core;
using test_support::uniqueName;

namespace {

constexpr uint32_t kSize = 262412;

// Exposes the protected members for inspection.
class Block : public CSharedMemory {
public:
    Block(const std::string& name, uint32_t size) : CSharedMemory(name, size) {}
    unsigned char* bytes() { return static_cast<unsigned char*>(getData()); }
    HANDLE mapping() const { return m_mapping; }
    CMutex& mutex() { return m_mutex; }
    uint32_t size() const { return m_size; }
};

bool allZero(const unsigned char* data, uint32_t size) {
    for (uint32_t i = 0; i < size; ++i) {
        if (data[i])
            return false;
    }
    return true;
}

struct PeerReport {
    bool existed, zero;
    int firstByte;
};

PeerReport peerCheck(const std::string& name, int write = -1) {
    const auto result = test_support::runProcess(
        test_support::besideThisProgram("core_peer.exe") + " check-block " + name + " " +
        std::to_string(kSize) + " " + std::to_string(write));
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(0u, result.exitCode & 0xFF0000) << "the peer could not map the block";
    return {(result.exitCode & 1) != 0, (result.exitCode & 2) != 0,
            static_cast<int>((result.exitCode >> 8) & 0xFF)};
}

} // namespace

TEST(SharedMemory, FirstOpenerCreatesAZeroBlockAndTheSecondSharesIt) {
    const std::string name = uniqueName("pair");
    Block first(name, kSize);
    ASSERT_NE(nullptr, first.bytes());
    EXPECT_FALSE(first.existed());
    EXPECT_EQ(kSize, first.size());
    EXPECT_TRUE(allZero(first.bytes(), kSize));
    first.bytes()[0] = 0x5A;
    first.bytes()[kSize - 1] = 0xA5;

    Block second(name, kSize);
    EXPECT_TRUE(second.existed());
    ASSERT_NE(nullptr, second.bytes());
    EXPECT_NE(first.bytes(), second.bytes());
    EXPECT_EQ(0x5A, second.bytes()[0]);
    EXPECT_EQ(0xA5, second.bytes()[kSize - 1]);
}

TEST(SharedMemory, MutexIsNamedAfterTheBlock) {
    const std::string name = uniqueName("mutex");
    Block block(name, 4096);
    EXPECT_NE(nullptr, block.mapping());
    EXPECT_EQ(name + "_mutex", block.mutex().getName());
    CSentry hold(block.mutex());
    std::thread([&] {
        CMutex sameMutex((name + "_mutex").c_str());
        EXPECT_EQ(TimedOut, sameMutex.wait(0));
    }).join();
}

TEST(SharedMemory, AnotherProcessSeesWhatThisOneWroteAndViceVersa) {
    const std::string name = uniqueName("xproc");
    Block block(name, kSize);
    block.bytes()[0] = 0x42;
    const PeerReport report = peerCheck(name, 0x17);
    EXPECT_TRUE(report.existed);
    EXPECT_FALSE(report.zero);
    EXPECT_EQ(0x42, report.firstByte);
    EXPECT_EQ(0x17, block.bytes()[0]);
}

TEST(SharedMemory, ProcessThatOpensFirstFindsZeroBytes) {
    const PeerReport report = peerCheck(uniqueName("alone"));
    EXPECT_FALSE(report.existed);
    EXPECT_TRUE(report.zero);
}

TEST(SharedMemory, BlockIsFreshAfterTheLastObjectIsGone) {
    const std::string name = uniqueName("fresh");
    {
        Block block(name, kSize);
        block.bytes()[100] = 1;
    }
    Block again(name, kSize);
    EXPECT_FALSE(again.existed());
    EXPECT_TRUE(allZero(again.bytes(), kSize));
}

TEST(SharedMemory, TwoProcessesStartingTogetherShareOneBlockWithOneCreator) {
    const std::string name = uniqueName("race");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, (name + "_go").c_str());
    HANDLE ready = CreateSemaphoreA(nullptr, 0, 16, (name + "_ready").c_str());
    HANDLE end = CreateEventA(nullptr, TRUE, FALSE, (name + "_end").c_str());
    const std::string command = test_support::besideThisProgram("core_peer.exe") + " race-block " +
                                name + " " + std::to_string(kSize);
    test_support::ChildProcess first(command), second(command);
    ASSERT_TRUE(first.started() && second.started());
    Sleep(200); // both peers wait at the start line
    SetEvent(go);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 15000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 15000));
    SetEvent(end);
    const DWORD a = first.waitForExit(15000), b = second.waitForExit(15000);
    EXPECT_EQ(1u, a + b) << "exit codes " << a << " and " << b;
    EXPECT_TRUE(a <= 1 && b <= 1);
    CloseHandle(go);
    CloseHandle(ready);
    CloseHandle(end);
}

TEST(SharedMemory, NameTakenByAnotherKindOfObjectGivesNoBlock) {
    const std::string name = uniqueName("clash");
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    {
        Block block(name, kSize);
        EXPECT_EQ(nullptr, block.getData());
        EXPECT_EQ(nullptr, block.mapping());
    }
    CloseHandle(event);
}

TEST(SharedMemory, ExistingBlockSmallerThanAskedForOrNotCommittedIsRefused) {
    const std::string name = uniqueName("small");
    HANDLE small =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
    ASSERT_NE(nullptr, small);
    {
        Block block(name, kSize);
        EXPECT_TRUE(block.existed());
        EXPECT_EQ(nullptr, block.getData());
        EXPECT_EQ(nullptr, block.mapping());
    }
    Block fits(name, 4096);
    EXPECT_NE(nullptr, fits.getData());
    CloseHandle(small);
    // Large enough but reserved only: no page committed, then the first alone.
    // Made as the diagnostics block, on which no recorder then starts.
    const std::string reserved = "TempovaDiagnosticsData";
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE,
                                        0, kSize, reserved.c_str());
    ASSERT_NE(ERROR_ALREADY_EXISTS, GetLastError()) << "another process holds the block";
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    for (SIZE_T committed : {SIZE_T(0), SIZE_T(4096)}) {
        ASSERT_TRUE(view &&
                    (!committed || VirtualAlloc(view, committed, MEM_COMMIT, PAGE_READWRITE)));
        EXPECT_EQ(nullptr, Block(reserved, kSize).getData()) << committed << " bytes committed";
        EXPECT_EQ(0u, test_support::runProcess(test_support::besideThisProgram("core_peer.exe") +
                                               " diag-start")
                          .exitCode);
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
}

// Taken first by another program as an image (its first page read-only) or
// as a view of a file of its own: refused like a reserved block.
TEST(SharedMemory, ExistingBlockOfAnImageOrAFileIsRefused) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring data = std::wstring(self) + L".block";
    HANDLE files[] = {CreateFileW(self, GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr),
                      CreateFileW(data.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr)};
    const DWORD protections[] = {PAGE_READONLY | SEC_IMAGE, PAGE_READWRITE};
    for (int i = 0; i < 2; ++i) {
        const std::string name = uniqueName("squatted");
        HANDLE mapping =
            CreateFileMappingA(files[i], nullptr, protections[i], 0, i ? kSize : 0, name.c_str());
        ASSERT_NE(nullptr, mapping) << i;
        EXPECT_EQ(nullptr, Block(name, 4096).getData()) << (i ? "a file" : "an image");
        CloseHandle(mapping);
        CloseHandle(files[i]);
    }
}

// The view must be one allocation: pages of another view right after a
// short one are not the block's.
TEST(SharedMemory, ViewFollowedByAnotherViewIsNotOneBlock) {
    HANDLE sections[2];
    for (HANDLE& section : sections)
        section =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x10000, nullptr);
    char* place = static_cast<char*>(VirtualAlloc(nullptr, 0x20000, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_TRUE(place && VirtualFree(place, 0, MEM_RELEASE));
    void* first = MapViewOfFileEx(sections[0], FILE_MAP_WRITE, 0, 0, 0, place);
    void* second = MapViewOfFileEx(sections[1], FILE_MAP_WRITE, 0, 0, 0, place + 0x10000);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(detail::isWholePagefileView(first, 0x10000));
    EXPECT_FALSE(detail::isWholePagefileView(first, 0x10001));
    UnmapViewOfFile(second);
    UnmapViewOfFile(first);
    for (HANDLE section : sections)
        CloseHandle(section);
}

// Made by the tool of another account, the block grants this one what every
// account gets: it is opened and mapped with that, read and written.
TEST(SharedMemory, BlockThatGrantsReadAndWriteOnlyIsOpened) {
    const std::string name = uniqueName("granted");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;;0x20007;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, 4096,
                                        name.c_str());
    LocalFree(descriptor);
    {
        Block block(name, 4096);
        ASSERT_NE(nullptr, block.bytes());
        block.bytes()[0] = 7;
        // Asked for no more than that: Windows refuses more (Wine grants it).
        const auto query = reinterpret_cast<decltype(&NtQueryObject)>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
        PUBLIC_OBJECT_BASIC_INFORMATION info{};
        ASSERT_EQ(0, query(block.mapping(), ObjectBasicInformation, &info, sizeof info, nullptr));
        EXPECT_EQ(static_cast<ACCESS_MASK>(FILE_MAP_READ | FILE_MAP_WRITE), info.GrantedAccess);
    }
    CloseHandle(mapping);
}

// The diagnostics block's event, taken first as a manual-reset event and
// left set, wakes the recorder for good: it pauses after each wake-up that
// brings no line instead of spinning (a spinning recorder took a core).
TEST(SharedMemory, DiagnosticsEventTakenFirstAndLeftSetDoesNotSpinTheRecorder) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, "TempovaDiagEvent");
    ASSERT_NE(ERROR_ALREADY_EXISTS, GetLastError()) << "another process holds the event";
    const auto result =
        test_support::runProcess(test_support::besideThisProgram("core_peer.exe") + " diag-cpu");
    CloseHandle(event);
    EXPECT_TRUE(result.finished);
    EXPECT_LT(result.exitCode, 300u) << "ms of CPU in a second of recording";
}

TEST(SharedMemory, GetDataWorksWhileTheMutexIsHeld) {
    Block block(uniqueName("held"), 4096);
    CSentry hold(block.mutex());
    EXPECT_NE(nullptr, block.getData());
}

TEST(SharedMemory, AbandonedMutexDoesNotBlockTheBlock) {
    const std::string name = uniqueName("abandoned");
    CMutex mutex((name + "_mutex").c_str());
    test_support::runProcess(test_support::besideThisProgram("core_peer.exe") + " abandon-mutex " +
                             name + "_mutex");
    {
        Block block(name, 4096);
        EXPECT_NE(nullptr, block.getData());
    }
    EXPECT_EQ(Signaled, mutex.wait(0));
    mutex.release();
}

TEST(SharedMemory, RepeatedOpeningLeavesNoHandlesBehind) {
    const std::string name = uniqueName("handles");
    { Block warmUp(name, kSize); }
    const DWORD before = test_support::handleCount();
    for (int i = 0; i < 100; ++i) {
        Block block(name, kSize);
        Block shared(name, kSize);
        ASSERT_NE(nullptr, shared.getData());
    }
    EXPECT_EQ(before, test_support::handleCount());
}
