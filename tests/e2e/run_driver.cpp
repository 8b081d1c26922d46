// Drives the running TempovaForLutegate.exe from outside, the way a person
// would, for scripts/run.sh on a machine without a display: Update against the
// course-list server, two rows ticked, Apply with the restart of the stand-in
// speed product, Close. After each step it prints the step's name and waits
// until the screenshot "<folder>\<name>.png" exists.
//   run_driver.exe <folder>
#include "RemoteDialog.h"
#include "TestWindows.h"
#include "resource.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

using namespace test_support;

namespace {

const char* const kEnablerTitle = "Tempova Lutegate Enabler";
const int kTickedRows[] = {1, 3};

// Each step waits until what it did has come about, prints its name and waits
// for its screenshot "<folder>\<name>.png".
class Steps {
public:
    explicit Steps(std::string folder) : m_folder(std::move(folder)) {}

    bool shoot(const char* name, const std::function<bool()>& done, DWORD timeoutMs) const {
        if (!waitUntil(done, timeoutMs)) {
            std::fprintf(stderr, "run_driver: step %s did not come about\n", name);
            return false;
        }
        std::printf("%s\n", name);
        std::fflush(stdout);
        const std::string shot = m_folder + "\\" + name + ".png";
        return waitUntil(
            [&] { return GetFileAttributesA(shot.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000);
    }

private:
    std::string m_folder;
};

std::string status(HWND dialog) {
    return windowText(GetDlgItem(dialog, IDC_STATIC_STATUS));
}

bool run(HWND dialog, const Steps& steps) {
    RemoteListView list(GetDlgItem(dialog, IDC_LIST_APPS));
    // In whatever language the tool speaks: the Update button's caption once
    // the update has ended is the one it had before.
    const std::string update = windowText(GetDlgItem(dialog, IDC_BUTTON_UPDATE));
    const auto shown = [] { return visibleWindow(kTempovaTitle) != nullptr; };
    const auto updated = [&] {
        return status(dialog).empty() &&
               windowText(GetDlgItem(dialog, IDC_BUTTON_UPDATE)) == update && list.count() > 0;
    };
    const auto ticked = [&] {
        return list.checked(kTickedRows[0]) && list.checked(kTickedRows[1]);
    };
    if (!list.ready() || !steps.shoot("1-start", shown, 30000))
        return false;

    pressButton(dialog, IDC_BUTTON_UPDATE);
    if (!steps.shoot("2-update", updated, 30000))
        return false;

    for (int row : kTickedRows)
        list.setChecked(row, true);
    if (!steps.shoot("3-ticked", ticked, 5000))
        return false;

    // Apply closes the running stand-in and starts a new one; Apply is
    // available again once the restart has ended.
    const DWORD firstStandin = windowProcess(visibleWindow(kTempovaTitle));
    const auto restarted = [&] {
        HWND standin = visibleWindow(kTempovaTitle);
        return IsWindowEnabled(GetDlgItem(dialog, IDOK)) && standin &&
               windowProcess(standin) != firstStandin;
    };
    pressButton(dialog, IDOK);
    return steps.shoot("4-applied", restarted, 30000);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: run_driver.exe <screenshot folder>\n");
        return 2;
    }
    HWND dialog = nullptr;
    if (!waitUntil([&] { return (dialog = visibleWindow(kEnablerTitle)) != nullptr; }, 60000)) {
        std::fprintf(stderr, "run_driver: the dialog did not come up\n");
        return 1;
    }
    const bool done = run(dialog, Steps(argv[1]));
    pressButton(dialog, IDCANCEL);
    return done ? 0 : 1;
}
