// The shipped TempovaForLutegate.exe run as its own process and driven only
// from outside, as a user's tools would: window messages, the list view read
// and changed through memory in the enabler's process, the registry read as
// it holds its texts (UTF-16) and the diagnostics log read as a file. The
// course list comes from a loopback server that the enabler reaches through
// http_proxy in its environment; its own server address stays as shipped.
// Names reach beyond this program's code page (1252): in the course list and
// in the user's profile folder (scripts/test.sh names the session's user).
// Winsock 2 (through the server) before anything that brings in windows.h.
#include "LoopbackHttpServer.h"

#include "ChildProcess.h"
#include "RemoteDialog.h"
#include "TestWindows.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "DiagEventLog.h"
#include "TextConversion.h"
#include "standin_ids.h"
#include "resource.h"

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using test_support::ChildProcess;
using test_support::endProcess;
using test_support::pressButton;
using test_support::readFile;
using test_support::RemoteListView;
using test_support::visibleWindow;
using test_support::windowProcess;

namespace {

const char* const kEnablerTitle = "Tempova Lutegate Enabler";
const char* const kPressUpdate = "Click the Update button to update or load course list from web.";
const char* const kUpdating = "Updating course list from web.....please wait..";
const char* const kRestarted = "Tempova successfully restarted.";

// Display names in any language are listed; an entry whose program name the
// system's code page (1252) cannot spell is not, since the speed product
// reads its lists in that code page.
const char* const kCourseList = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                "<applications>\n"
                                "  <app exe=\"lgplayer.exe\">Lutegate Course Player</app>\n"
                                "  <app exe=\"LGStudio.exe\">Lutegate Studio</app>\n"
                                "  <app exe=\"lgoffline.exe;lgsync.exe\">Lutegate Offline "
                                "Classroom</app>\n"
                                "  <app exe=\"日本語Player.EXE\">日本語コース</app>\n"
                                "  <app exe=\"CAFÉ.exe\">Café Łódź</app>\n"
                                "  <app exe=\"Łódź.exe;lgsync.exe\">Łódź</app>\n"
                                "  <app exe=\"lglang.exe\">Видеоуроки</app>\n"
                                "</applications>\n";
const std::vector<std::string> kRowNames = {"Lutegate Course Player", "Lutegate Studio",
                                            "Lutegate Offline Classroom", "Café Łódź",
                                            "Видеоуроки"};
const std::set<int> kCheckedRows = {1, 3, 4};

const char* const kLoginPage = "<?xml version=\"1.0\"?>\n"
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Guest "
                               "Wi-Fi</title></head><body><form action=\"/login\"><input "
                               "name=\"room\"/></form></body></html>\n";

// The speed product's lists when nothing was stored, with the checked
// programs appended, their ASCII letters in small letters, and without a
// trailing ";".
const char* const kModulesAfterApply =
    "flash10*;flash9*;npswf32.dll;gcswf32.dll;fldbg10*;adobe media player.exe"
    ";lgstudio.exe;cafÉ.exe;lglang.exe";
const char* const kProgramsAfterApply =
    "iexplore.exe;firefox.exe;chrome.exe;safari.exe;opera.exe;maxthon.exe;flock.exe"
    ";feeddemon.exe;realplay.exe;flvplayer.exe;flv player.exe;adobe media player.exe"
    ";lgstudio.exe;cafÉ.exe;lglang.exe";

using test_support::waitUntil;
using test_support::windowText;

// A text as a text file holds it on this platform.
std::string withCrLf(const std::string& text) {
    std::string converted;
    for (char c : text)
        converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return converted;
}

// Processes whose parent is one of the given ones.
std::vector<DWORD> childrenOf(const std::set<DWORD>& parents) {
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (parents.count(entry.th32ParentProcessID) && !parents.count(entry.th32ProcessID))
            children.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return children;
}

// Every process the scenario starts, and those that they start in turn (the
// enabler restarts the speed product): all of them end when this ends.
class ScenarioProcesses {
public:
    ~ScenarioProcesses() { endAll(); }

    ChildProcess& start(const std::string& commandLine, const std::string& environment = {}) {
        m_children.push_back(std::make_unique<ChildProcess>(commandLine, environment));
        m_ids.insert(m_children.back()->id());
        return *m_children.back();
    }

    // Lets go of a process that has ended; what it started is still ended
    // by endAll.
    void release(ChildProcess& ended) {
        m_children.erase(std::remove_if(m_children.begin(), m_children.end(),
                                        [&](const std::unique_ptr<ChildProcess>& child) {
                                            return child.get() == &ended;
                                        }),
                         m_children.end());
    }

    void endAll() {
        for (auto child = m_children.rbegin(); child != m_children.rend(); ++child) {
            if ((*child)->waitForExit(0) == STILL_ACTIVE)
                endProcess((*child)->id());
        }
        m_children.clear(); // kills whatever is left
        for (DWORD id : childrenOf(m_ids))
            endProcess(id);
        m_ids.clear();
    }

private:
    std::vector<std::unique_ptr<ChildProcess>> m_children;
    std::set<DWORD> m_ids;
};

std::vector<std::string> expectedRows(const std::set<int>& checked) {
    std::vector<std::string> rows;
    for (int row = 0; row < static_cast<int>(kRowNames.size()); ++row)
        rows.push_back(kRowNames[row] + (checked.count(row) ? " [x]" : " [ ]"));
    return rows;
}

// Waits for the condition and collects every status text seen meanwhile.
bool watchStatus(HWND dialog, const std::function<bool()>& condition, DWORD timeoutMs,
                 std::vector<std::string>& seen) {
    return waitUntil(
        [&] {
            const std::string status = windowText(GetDlgItem(dialog, IDC_STATIC_STATUS));
            if (seen.empty() || seen.back() != status)
                seen.push_back(status);
            return condition();
        },
        timeoutMs);
}

bool sawStatus(const std::vector<std::string>& seen,
               const std::function<bool(const std::string&)>& is) {
    return std::any_of(seen.begin(), seen.end(), is);
}

// True when this program's code page cannot spell the user's profile folder.
bool profileOutsideTheCodePage() {
    wchar_t profile[MAX_PATH];
    std::string spelt;
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, profile)) &&
           !wideToAnsiExact(profile, wcslen(profile), spelt);
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// Lines of the log reported by the given process of the given program.
std::vector<std::string> logLinesOf(const std::string& log, const std::string& program,
                                    DWORD processId) {
    // The program's name is as the system spells its file: letter case aside.
    const std::string mark = lowerCase(":" + program + ":" + std::to_string(processId) + ":");
    std::vector<std::string> found;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (lowerCase(line).find(mark) != std::string::npos)
            found.push_back(line);
    }
    return found;
}

bool isInfoEvent(const std::string& line) {
    // <date>::<time>:<program>:<process>:<thread>:InfoEvent:<text>
    const std::string::size_type event = line.find(":InfoEvent");
    return event != std::string::npos && line.find(':', event + 1) == event + 10;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        removeUserState();
        m_server.setReply("/lutegate/lutegate.xml",
                          test_support::HttpReply::answer(200, kCourseList));
    }
    void TearDown() override {
        m_processes.endAll();
        removeUserState();
    }

    static void removeUserState() {
        DeleteFileA(localCopy().c_str());
        DeleteFileA(logFile().c_str());
        test_support::deleteRegistryTree("Software\\Kelvora\\Vexa");
    }
    static std::string localCopy() { return test_support::localCopyPath(); }
    static std::string logFile() { return kelvora_core::DiagEventLog::getLogFileName(); }

    // The stand-in speed product beside the enabler; its window once shown.
    HWND startStandin(ChildProcess*& process) {
        process = &m_processes.start(test_support::besideThisProgram("tempova.exe"));
        const DWORD id = process->id();
        waitUntil([&] { return windowOf(test_support::kTempovaTitle, id) != nullptr; }, 15000);
        return windowOf(test_support::kTempovaTitle, id);
    }

    // The enabler with the loopback server as its proxy; its dialog once shown.
    HWND startEnabler(ChildProcess*& process) {
        const std::string proxy = "http://127.0.0.1:" + std::to_string(m_server.port());
        process = &m_processes.start(test_support::besideThisProgram("TempovaForLutegate.exe"),
                                     test_support::environmentWith("http_proxy", proxy));
        const DWORD id = process->id();
        waitUntil([&] { return windowOf(kEnablerTitle, id) != nullptr; }, 15000);
        return windowOf(kEnablerTitle, id);
    }

    static HWND windowOf(const char* title, DWORD processId) {
        HWND window = visibleWindow(title);
        return window && windowProcess(window) == processId ? window : nullptr;
    }

    size_t courseListRequests() const {
        const auto lines = m_server.requestLines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("/lutegate/lutegate.xml") != std::string::npos;
        });
    }

    test_support::LoopbackHttpServer m_server;
    ScenarioProcesses m_processes;
};

void expectFreshStart(HWND dialog) {
    RemoteListView list(GetDlgItem(dialog, IDC_LIST_APPS));
    ASSERT_TRUE(list.ready());
    EXPECT_EQ(0, list.count());
    EXPECT_EQ(kPressUpdate, windowText(GetDlgItem(dialog, IDC_STATIC_STATUS)));
    EXPECT_EQ("&Update", windowText(GetDlgItem(dialog, IDC_BUTTON_UPDATE)));
}

void updateFromServer(HWND dialog) {
    RemoteListView list(GetDlgItem(dialog, IDC_LIST_APPS));
    ASSERT_TRUE(list.ready());
    pressButton(dialog, IDC_BUTTON_UPDATE);
    std::vector<std::string> seen;
    const bool finished = watchStatus(
        dialog,
        [&] {
            // Once "done." has had its second, the status line is empty.
            return windowText(GetDlgItem(dialog, IDC_STATIC_STATUS)).empty() &&
                   windowText(GetDlgItem(dialog, IDC_BUTTON_UPDATE)) == "&Update" &&
                   list.count() == static_cast<int>(kRowNames.size());
        },
        20000, seen);
    ASSERT_TRUE(finished) << "status: " << windowText(GetDlgItem(dialog, IDC_STATIC_STATUS));
    EXPECT_TRUE(sawStatus(seen, [](const std::string& s) { return s.rfind(kUpdating, 0) == 0; }));
    EXPECT_TRUE(sawStatus(seen, [](const std::string& s) {
        return s.rfind(kUpdating, 0) == 0 && s.size() > 5 && s.substr(s.size() - 5) == "done.";
    }));
    EXPECT_EQ(expectedRows({}), list.rows());
}

void checkRowsAndApply(HWND dialog) {
    RemoteListView list(GetDlgItem(dialog, IDC_LIST_APPS));
    ASSERT_TRUE(list.ready());
    for (int row : kCheckedRows)
        list.setChecked(row, true);
    ASSERT_EQ(expectedRows(kCheckedRows), list.rows());
    pressButton(dialog, IDOK);
    std::vector<std::string> seen;
    const bool restarted = watchStatus(
        dialog, [&] { return windowText(GetDlgItem(dialog, IDC_STATIC_STATUS)) == kRestarted; },
        15000, seen);
    ASSERT_TRUE(restarted) << "status: " << windowText(GetDlgItem(dialog, IDC_STATIC_STATUS));
    EXPECT_TRUE(sawStatus(seen, [](const std::string& s) { return s == "Closing Tempova..."; }));
    EXPECT_TRUE(sawStatus(seen, [](const std::string& s) { return s == "Restarting Tempova..."; }));
}

void closeEnabler(HWND dialog, ChildProcess& process) {
    pressButton(dialog, IDCANCEL);
    EXPECT_EQ(0u, process.waitForExit(10000));
}

} // namespace

TEST_F(EndToEnd, UpdateApplyRestartAndTheLocalCopyAtTheNextStart) {
    ASSERT_TRUE(profileOutsideTheCodePage()) << "run it through scripts/test.sh";
    ASSERT_EQ(nullptr, FindWindowA("#32770", kEnablerTitle));
    ASSERT_EQ(nullptr, test_support::findTempova());

    ChildProcess* standin = nullptr;
    ASSERT_TRUE(startStandin(standin)) << "the stand-in did not show its window";
    ChildProcess* enabler = nullptr;
    HWND dialog = startEnabler(enabler);
    ASSERT_TRUE(dialog) << "the enabler did not show its dialog";
    ASSERT_NO_FATAL_FAILURE(expectFreshStart(dialog));
    EXPECT_EQ(0u, courseListRequests());

    ASSERT_NO_FATAL_FAILURE(updateFromServer(dialog));
    EXPECT_EQ(1u, courseListRequests());
    EXPECT_EQ(withCrLf(kCourseList), readFile(localCopy()));

    // Apply closes the running stand-in and starts a new one.
    const DWORD firstStandin = standin->id();
    ASSERT_NO_FATAL_FAILURE(checkRowsAndApply(dialog));
    EXPECT_EQ(0u, standin->waitForExit(5000));
    HWND restarted = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            restarted = visibleWindow(test_support::kTempovaTitle);
            return restarted && windowProcess(restarted) != firstStandin;
        },
        5000));

    EXPECT_EQ(kModulesAfterApply, test_support::storedText("Software\\Kelvora\\Vexa\\FlashAdapter",
                                                           "ModulesToIntercept"));
    EXPECT_EQ(kProgramsAfterApply,
              test_support::storedText("Software\\Kelvora\\Vexa\\Adapters", "ProgramsToHook"));
    // The new stand-in read them exactly, in the system's code page, when it started.
    EXPECT_EQ(kProgramsAfterApply, windowText(GetDlgItem(restarted, IDC_PROGRAMS)));
    EXPECT_EQ(kModulesAfterApply, windowText(GetDlgItem(restarted, IDC_MODULES)));

    // The running stand-in recorded the enabler's reports of the update.
    std::vector<std::string> reports;
    waitUntil(
        [&] {
            reports = logLinesOf(readFile(logFile()), "TempovaForLutegate.exe", enabler->id());
            return reports.size() >= 2;
        },
        5000);
    ASSERT_GE(reports.size(), 2u) << readFile(logFile());
    for (const std::string& line : reports)
        EXPECT_TRUE(isInfoEvent(line)) << line;

    closeEnabler(dialog, *enabler);
    m_processes.release(*enabler);
    ASSERT_EQ(nullptr, FindWindowA("#32770", kEnablerTitle));

    // The second start lists the local copy; starting and closing the enabler
    // again leaves no handle behind in this process.
    const DWORD handlesBefore = test_support::handleCount();
    dialog = startEnabler(enabler);
    ASSERT_TRUE(dialog) << "the enabler did not show its dialog again";
    {
        RemoteListView list(GetDlgItem(dialog, IDC_LIST_APPS));
        ASSERT_TRUE(list.ready());
        EXPECT_EQ(expectedRows(kCheckedRows), list.rows());
    }
    EXPECT_EQ(kPressUpdate, windowText(GetDlgItem(dialog, IDC_STATIC_STATUS)));
    EXPECT_EQ(1u, courseListRequests());
    // Behind a hotel's login page: no course list, so the rows and the copy
    // stay and the error stands.
    m_server.setReply("/lutegate/lutegate.xml", test_support::HttpReply::answer(200, kLoginPage));
    pressButton(dialog, IDC_BUTTON_UPDATE);
    EXPECT_TRUE(waitUntil(
        [&] {
            return windowText(GetDlgItem(dialog, IDC_STATIC_STATUS)).find("267 (0x0)") !=
                   std::string::npos;
        },
        20000));
    EXPECT_EQ(withCrLf(kCourseList), readFile(localCopy()));
    {
        RemoteListView list(GetDlgItem(dialog, IDC_LIST_APPS));
        ASSERT_TRUE(list.ready());
        EXPECT_EQ(expectedRows(kCheckedRows), list.rows());
    }
    closeEnabler(dialog, *enabler);
    m_processes.release(*enabler);
    // The server's accept thread holds a handle now and then while it waits
    // for a connection, in either count: no more than before, within a moment.
    waitUntil([&] { return test_support::handleCount() <= handlesBefore; }, 1000);
    EXPECT_LE(test_support::handleCount(), handlesBefore);

    m_processes.endAll();
    EXPECT_EQ(nullptr, test_support::findTempova());
}

// Windows shows the tool in its user's language, here Japanese: every text
// whole, and an Update and an Apply that work with the server address and the
// element name, which only the English table holds. Wine
// takes the UI language from LANG when the process starts, so this case runs
// on its own in a Japanese process (ctest's e2e_tests_japanese).
TEST_F(EndToEnd, UpdateAndApplyInTheUsersLanguage) {
    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultUILanguage()), LANG_JAPANESE) << "run e2e_tests_japanese";
    m_server.setReply(
        "/lutegate/lutegate.xml",
        test_support::HttpReply::answer(
            200, "<applications><app exe=\"lgplayer.exe\">Player</app></applications>"));
    ChildProcess *standin = nullptr, *enabler = nullptr;
    ASSERT_TRUE(startStandin(standin)) << "the stand-in did not show its window";
    HWND dialog = startEnabler(enabler);
    ASSERT_TRUE(dialog) << "the enabler did not show its dialog";
    const auto text = [&](int id) { return windowText(GetDlgItem(dialog, id)); };
    EXPECT_EQ("[更新] をクリックして、Web からコース一覧を読み込むか最新の状態に更新してください。",
              text(IDC_STATIC_STATUS));
    EXPECT_EQ("更新(&U) 適用(&A) 閉じる(&C)",
              text(IDC_BUTTON_UPDATE) + " " + text(IDOK) + " " + text(IDCANCEL));

    pressButton(dialog, IDC_BUTTON_UPDATE);
    EXPECT_TRUE(waitUntil([&] { return text(IDC_BUTTON_UPDATE) == "キャンセル(&N)"; }));
    RemoteListView list(GetDlgItem(dialog, IDC_LIST_APPS));
    std::vector<std::string> seen;
    ASSERT_TRUE(watchStatus(
        dialog, [&] { return text(IDC_STATIC_STATUS).empty() && list.count() == 1; }, 20000, seen));
    const std::string done = "..完了しました。"; // the updating text's dots, one more, "done."
    EXPECT_TRUE(sawStatus(seen, [&](const std::string& s) {
        return s.rfind("Web からコース一覧を更新しています", 0) == 0 && s.size() > done.size() &&
               s.substr(s.size() - done.size()) == done;
    }));
    list.setChecked(0, true);
    pressButton(dialog, IDOK);
    EXPECT_TRUE(
        waitUntil([&] { return text(IDC_STATIC_STATUS) == "Tempova を再起動しました。"; }, 15000))
        << text(IDC_STATIC_STATUS);
    closeEnabler(dialog, *enabler);
}
