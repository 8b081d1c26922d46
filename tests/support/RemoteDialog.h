#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Another process's dialog driven from outside, the way a user's tools would:
// window messages, and its list view read and changed through memory in that
// process.
namespace test_support {

// The process that owns the window.
DWORD windowProcess(HWND window);

// Asks the process's windows to close; kills it when it has not ended within
// three seconds.
void endProcess(DWORD id);

// The dialog (class "#32770") of that title once it is visible; null before.
HWND visibleWindow(const char* title);

// The title of the speed product's window, which its stand-in shows too.
constexpr const char kTempovaTitle[] = "Kelvora Tempova LoaderApp";
// The first window of that title, shown or not; null when there is none.
HWND findTempova();
// Ends every process that shows that window (a few at most).
void endEveryTempova();

// A click on the dialog's button, posted as the button sends it.
void pressButton(HWND dialog, int id);

// The list view, read and changed through a block of memory in its process
// that holds the item record and its text.
class RemoteListView {
public:
    explicit RemoteListView(HWND list);
    ~RemoteListView();
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    bool ready() const { return m_block != nullptr; }
    int count() const;
    bool checked(int row) const;
    // The row's text in UTF-8.
    std::string text(int row) const;
    void setChecked(int row, bool checked) const;
    // Every row as its text and check box, e.g. "Lutegate Studio [x]".
    std::vector<std::string> rows() const;

private:
    bool put(const void* item, SIZE_T size) const;
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) const;

    HWND m_list;
    HANDLE m_process;
    void* m_block;
};

} // namespace test_support
