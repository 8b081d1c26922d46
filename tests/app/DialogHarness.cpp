#include "DialogHarness.h"
#include "resource.h"

#include <commctrl.h>
#include <process.h>

#include <cwchar>
#include <iterator>
#include <vector>

namespace app_test {

const MessageEntry TestDlg::s_testEntries[] = {
    msg::onMessage<&TestDlg::OnRun>(kRunMessage),
    msg::onMessage<&TestDlg::OnMark>(kMarkMessage),
};

const MessageMap TestDlg::s_testMap = {&CTempovaForLutegateDlg::s_messageMap, s_testEntries,
                                       std::size(s_testEntries)};

BOOL TestDlg::OnInitDialog() {
    const BOOL result = CTempovaForLutegateDlg::OnInitDialog();
    m_ready = m_hWnd;
    return result;
}

void TestDlg::OnCancel() {
    m_rowsAtEnd = m_listApps.GetItemCount();
    CTempovaForLutegateDlg::OnCancel();
}

LRESULT TestDlg::OnRun(WPARAM, LPARAM lParam) {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
}

LRESULT TestDlg::OnMark(WPARAM, LPARAM lParam) {
    SetEvent(reinterpret_cast<HANDLE>(lParam));
    return 0;
}

namespace {
INT_PTR CALLBACK noHandling(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}
} // namespace

TemplateDialog::TemplateDialog(unsigned id, LANGID language, WORD points) {
    const HRSRC found = FindResourceExA(nullptr, RT_DIALOG, MAKEINTRESOURCEA(id), language);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    std::vector<BYTE> copy(data, data + SizeofResource(nullptr, found));
    // DLGTEMPLATEEX: 26 bytes, the menu, the class and the title, the points.
    auto* field = reinterpret_cast<WORD*>(copy.data() + 26);
    for (int skipped = 0; skipped < 3; ++skipped)
        field = *field == 0xFFFF ? field + 2
                                 : field + std::wcslen(reinterpret_cast<wchar_t*>(field)) + 1;
    *field = points;
    m_hwnd = CreateDialogIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()),
                                        nullptr, noHandling, 0);
}

RunningDialog::RunningDialog(LANGID language) {
    m_dialog.m_language = language;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, threadMain, this, 0, nullptr));
    if (!m_thread)
        return;
    if (waitUntil([this] {
            HWND ready = m_dialog.m_ready;
            return ready && IsWindowVisible(ready);
        }))
        m_hwnd = m_dialog.m_ready;
}

RunningDialog::~RunningDialog() {
    if (!m_thread)
        return;
    if (WaitForSingleObject(m_thread, 0) != WAIT_OBJECT_0 && m_hwnd)
        post(WM_COMMAND, IDCANCEL);
    WaitForSingleObject(m_thread, 20000);
    CloseHandle(m_thread);
}

std::wstring repeatedAccessKeys(HWND dialog) {
    std::wstring keys, repeated;
    for (HWND control = GetWindow(dialog, GW_CHILD); control;
         control = GetWindow(control, GW_HWNDNEXT)) {
        wchar_t text[512] = {};
        InternalGetWindowText(control, text, 512);
        const wchar_t* key = wcschr(text, L'&');
        if (!key || !key[1])
            continue;
        wchar_t small[] = {key[1], 0};
        CharLowerW(small);
        (keys.find(small[0]) == std::wstring::npos ? keys : repeated) += small[0];
    }
    return repeated;
}

unsigned __stdcall RunningDialog::threadMain(void* self) {
    auto* running = static_cast<RunningDialog*>(self);
    running->m_result = running->m_dialog.DoModal();
    return 0;
}

void RunningDialog::run(const std::function<void()>& function) {
    send(TestDlg::kRunMessage, 0, reinterpret_cast<LPARAM>(&function));
}

bool RunningDialog::flush(DWORD timeoutMs) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    post(TestDlg::kMarkMessage, 0, reinterpret_cast<LPARAM>(event));
    const bool reached = WaitForSingleObject(event, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(event);
    return reached;
}

void RunningDialog::post(UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageA(m_hwnd, message, wParam, lParam);
}

LRESULT RunningDialog::send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(m_hwnd, message, wParam, lParam);
}

void RunningDialog::addRow(const std::string& name, const std::string& program, bool checked) {
    run([&] { m_dialog.AddAppRow(name, program, checked); });
}

int RunningDialog::rowCount() {
    return static_cast<int>(SendMessageA(item(IDC_LIST_APPS), LVM_GETITEMCOUNT, 0, 0));
}

std::string RunningDialog::rowText(int row) {
    char buffer[512] = {};
    LVITEMA lvItem{};
    lvItem.pszText = buffer;
    lvItem.cchTextMax = sizeof buffer;
    const auto length =
        SendMessageA(item(IDC_LIST_APPS), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&lvItem));
    return std::string(buffer, length > 0 ? length : 0);
}

std::string RunningDialog::rowProgram(int row) {
    LVITEMA lvItem{};
    lvItem.mask = LVIF_PARAM;
    lvItem.iItem = row;
    if (!SendMessageA(item(IDC_LIST_APPS), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&lvItem)) ||
        !lvItem.lParam)
        return "<none>";
    return reinterpret_cast<const char*>(lvItem.lParam);
}

bool RunningDialog::rowChecked(int row) {
    const auto state =
        SendMessageA(item(IDC_LIST_APPS), LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void RunningDialog::setChecked(int row, bool checked) {
    LVITEMA lvItem{};
    lvItem.stateMask = LVIS_STATEIMAGEMASK;
    lvItem.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageA(item(IDC_LIST_APPS), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&lvItem));
}

bool RunningDialog::waitForEnd(DWORD timeoutMs) {
    return m_thread && WaitForSingleObject(m_thread, timeoutMs) == WAIT_OBJECT_0;
}

} // namespace app_test
