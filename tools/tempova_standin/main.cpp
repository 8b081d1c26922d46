// A stand-in for the speed product: its main window shows the two lists it read (as the
// speed product reads them), its folder and its arguments, and it ends on the enabler's close
// command. Its options for the tests are listed in docs/WINE.md.
#include "DiagEventLog.h"
#include "Preferences.h"
#include "standin_ids.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

using namespace kelvora_core;

namespace {

struct StartValues {
    std::string modules;
    std::string programs;
};

bool s_ignoreClose = false;
UINT s_closeAfterMs = 0;
constexpr UINT_PTR kCloseTimer = 1;

// The command line without the program's own name: what follows the quoted
// or unquoted first word, and the spaces after it.
const wchar_t* argumentsOf(const wchar_t* commandLine) {
    const wchar_t* at = commandLine;
    if (*at == L'"') {
        at = std::wcschr(at + 1, L'"');
        at = at ? at + 1 : commandLine + std::wcslen(commandLine);
    }
    while (*at && *at != L' ' && *at != L'\t')
        ++at;
    while (*at == L' ' || *at == L'\t')
        ++at;
    return at;
}

void showHowItWasStarted(HWND hWnd) {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    SetDlgItemTextW(hWnd, IDC_FOLDER, folder);
    SetDlgItemTextW(hWnd, IDC_ARGUMENTS, argumentsOf(GetCommandLineW()));
}

// The middle of the work area's bottom edge: below the enabler's dialog,
// which stands in the middle, so that without a window manager neither
// covers the other.
void placeAtTheBottom(HWND hWnd) {
    RECT area{}, window{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(hWnd, &window);
    const LONG width = window.right - window.left, height = window.bottom - window.top;
    SetWindowPos(hWnd, nullptr, (area.left + area.right - width) / 2, area.bottom - height, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK dialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        placeAtTheBottom(hWnd);
        const auto* values = reinterpret_cast<const StartValues*>(lParam);
        SetDlgItemTextA(hWnd, IDC_MODULES, values->modules.c_str());
        SetDlgItemTextA(hWnd, IDC_PROGRAMS, values->programs.c_str());
        showHowItWasStarted(hWnd);
        return TRUE;
    }
    if (message == WM_COMMAND && (wParam == IDOK && lParam == 0) && !s_ignoreClose) {
        if (s_closeAfterMs != 0)
            SetTimer(hWnd, kCloseTimer, s_closeAfterMs, nullptr);
        else
            EndDialog(hWnd, IDOK);
        return TRUE;
    }
    if (message == WM_TIMER && wParam == kCloseTimer) {
        EndDialog(hWnd, IDOK);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(hWnd, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

void grantOthersOnly(const std::string& access) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(
            ("D:P(A;;" + access + ";;;WD)").c_str(), SDDL_REVISION_1, &descriptor, nullptr) &&
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, dacl, nullptr);
    LocalFree(descriptor);
}

// Everyone may read its token no more: as another account's process, whose
// user the enabler cannot tell.
void hideToken() {
    HANDLE token = nullptr;
    ACL empty{};
    if (OpenProcessToken(GetCurrentProcess(), WRITE_DAC, &token) &&
        InitializeAcl(&empty, sizeof empty, ACL_REVISION))
        SetSecurityInfo(token, SE_KERNEL_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, &empty, nullptr);
    CloseHandle(token);
}

// Its parameters name its executable by the short form of its path, as
// Windows does for one started through a junction or a substituted drive:
// the same file, spelt otherwise than the system's image name.
void respellImage() {
    static wchar_t spelt[MAX_PATH];
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const DWORD length = GetShortPathNameW(path, spelt, MAX_PATH);
    const auto query =
        reinterpret_cast<decltype(&NtQueryInformationProcess)>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query ||
        query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0)
        return;
    PEB* peb = basic.PebBaseAddress;
    if (length > 0 && length < MAX_PATH) {
        UNICODE_STRING& image = peb->ProcessParameters->ImagePathName;
        image.Buffer = spelt;
        image.Length = static_cast<USHORT>(length * sizeof(wchar_t));
        image.MaximumLength = sizeof spelt;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    s_ignoreClose = std::strstr(commandLine, "--ignore-close") != nullptr;
    if (const char* closeAfter = std::strstr(commandLine, "--close-after "))
        s_closeAfterMs = static_cast<UINT>(std::strtoul(closeAfter + 14, nullptr, 10));
    if (const char* grant = std::strstr(commandLine, "--grant "))
        grantOthersOnly(std::string(grant + 8, std::strcspn(grant + 8, " ")));
    if (std::strstr(commandLine, "--hide-token"))
        hideToken();
    if (std::strstr(commandLine, "--respell-image"))
        respellImage();
    DiagEventLog::startNewLog();
    StartValues values;
    // getString's text lives until the next call: copy each at once.
    values.modules = Preferences::getString(kFlashAdapter, kModulesToIntercept, "");
    values.programs = Preferences::getString(kAdapters, kProgramsToHook, "");
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_STANDIN), nullptr, dialogProc,
                    reinterpret_cast<LPARAM>(&values));
    DiagEventLog::endLogging();
    return 0;
}
