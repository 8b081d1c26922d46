#include "RemoteDialog.h"

#include "TextConversion.h"

#include <commctrl.h>

#include <algorithm>

namespace test_support {

namespace {

constexpr SIZE_T kBlockSize = 4096;
constexpr SIZE_T kTextOffset = 256;

} // namespace

DWORD windowProcess(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id;
}

namespace {
BOOL CALLBACK closeIfOwnedBy(HWND window, LPARAM processId) {
    if (windowProcess(window) == static_cast<DWORD>(processId))
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}
} // namespace

void endProcess(DWORD id) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
    if (!process)
        return;
    EnumWindows(closeIfOwnedBy, static_cast<LPARAM>(id));
    if (WaitForSingleObject(process, 3000) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 3000);
    }
    CloseHandle(process);
}

HWND visibleWindow(const char* title) {
    HWND window = FindWindowA("#32770", title);
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND findTempova() {
    return FindWindowA("#32770", kTempovaTitle);
}

void endEveryTempova() {
    for (int i = 0; i < 5 && findTempova(); ++i)
        endProcess(windowProcess(findTempova()));
}

void pressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

RemoteListView::RemoteListView(HWND list)
    : m_list(list), m_process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                                          FALSE, windowProcess(list))),
      m_block(m_process ? VirtualAllocEx(m_process, nullptr, kBlockSize, MEM_COMMIT | MEM_RESERVE,
                                         PAGE_READWRITE)
                        : nullptr) {}

RemoteListView::~RemoteListView() {
    if (m_block)
        VirtualFreeEx(m_process, m_block, 0, MEM_RELEASE);
    if (m_process)
        CloseHandle(m_process);
}

int RemoteListView::count() const {
    return static_cast<int>(send(LVM_GETITEMCOUNT, 0, 0));
}

bool RemoteListView::checked(int row) const {
    return (send(LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) ==
           INDEXTOSTATEIMAGEMASK(2);
}

// Read in UTF-16: the ANSI message would convert in the owner's code page.
std::string RemoteListView::text(int row) const {
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(m_block) + kTextOffset);
    item.cchTextMax = (kBlockSize - kTextOffset) / sizeof(wchar_t);
    if (!put(&item, sizeof item))
        return "<unreadable>";
    const auto length = send(LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(m_block));
    std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)), L'\0');
    SIZE_T read = 0;
    ReadProcessMemory(m_process, item.pszText, text.data(), text.size() * sizeof(wchar_t), &read);
    text.resize(read / sizeof(wchar_t));
    return wideToAnsi(text, CP_UTF8);
}

void RemoteListView::setChecked(int row, bool checked) const {
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    if (put(&item, sizeof item))
        send(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(m_block));
}

std::vector<std::string> RemoteListView::rows() const {
    std::vector<std::string> rows;
    for (int row = 0, n = count(); row < n; ++row)
        rows.push_back(text(row) + (checked(row) ? " [x]" : " [ ]"));
    return rows;
}

bool RemoteListView::put(const void* item, SIZE_T size) const {
    SIZE_T written = 0;
    return m_block && WriteProcessMemory(m_process, m_block, item, size, &written) &&
           written == size;
}

LRESULT RemoteListView::send(UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(m_list, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

} // namespace test_support
