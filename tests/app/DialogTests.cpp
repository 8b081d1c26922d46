// The main dialog driven through window messages: start-up state, layout,
// rows, the system menu and the About box, keyboard and close paths.
#include "DialogHarness.h"

#include "ChildProcess.h"
#include "Dpi.h"
#include "resource.h"

#include <commctrl.h>
#include <cstdlib>
#include <gtest/gtest.h>

#include <vector>

using app_test::RunningDialog;
using app_test::waitUntil;
using app_test::windowText;

namespace {

const char* const kPressUpdate = "Click the Update button to update or load course list from web.";

// A control's rectangle in the dialog's client coordinates.
RECT controlRect(HWND dialog, int id) {
    RECT rect;
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT dialogUnits(HWND dialog, int x, int y, int width, int height) {
    RECT rect{x, y, x + width, y + height};
    MapDialogRect(dialog, &rect);
    return rect;
}

void expectRect(HWND dialog, int id, int x, int y, int width, int height) {
    const RECT actual = controlRect(dialog, id);
    const RECT expected = dialogUnits(dialog, x, y, width, height);
    EXPECT_EQ(actual.left, expected.left) << "control " << id;
    EXPECT_EQ(actual.top, expected.top) << "control " << id;
    EXPECT_EQ(actual.right, expected.right) << "control " << id;
    EXPECT_EQ(actual.bottom, expected.bottom) << "control " << id;
}

HWND findAboutBox() {
    return FindWindowA("#32770", "About TempovaForLutegate");
}

POINT centreOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The width of the control's text in its own font.
LONG textWidth(HWND control) {
    const std::string text = windowText(control);
    const HDC dc = GetDC(control);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size.cx;
}

// What a layout at a DPI is made of: the client area, every control's box
// in it, the list's font height, check-box images and column width.
std::vector<int> layoutOf(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    std::vector<int> numbers{client.right, client.bottom};
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box{};
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
        numbers.insert(numbers.end(), {box.left, box.top, box.right, box.bottom});
    }
    const HWND list = GetDlgItem(dialog, IDC_LIST_APPS);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)), sizeof font, &font);
    int side = 0, height = 0;
    ImageList_GetIconSize(ListView_GetImageList(list, LVSIL_STATE), &side, &height);
    return numbers.insert(numbers.end(), {font.lfHeight, side, ListView_GetColumnWidth(list, 0)}),
           numbers;
}

// The window icon's width.
int iconWidth(HWND window, WPARAM which) {
    ICONINFO info{};
    GetIconInfo(reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, which, 0)), &info);
    BITMAP bitmap{};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

} // namespace

// A change to 144 DPI while open gives the layout of a dialog started at 144
// DPI, within a pixel or two: the template at 12 points in this 96 DPI
// session, with the check boxes the dialog gives its list at the start, and
// icons of 144 DPI. A change back gives the first layout exactly.
TEST(MainDialog, ChangeOfDpiLaysOutAsAStartAtThatDpiAndBack) {
    for (const LANGID language : {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)}) {
        RunningDialog dialog(language);
        ASSERT_TRUE(dialog.hwnd());
        dialog.addRow("Course Tool", "coursetool.exe", true);
        const std::vector<int> first = layoutOf(dialog.hwnd());
        RECT window{}, suggested{};
        GetWindowRect(dialog.hwnd(), &window);
        suggested = {window.left, window.top, window.left + (window.right - window.left) * 3 / 2,
                     window.top + (window.bottom - window.top) * 3 / 2};
        dialog.send(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        const app_test::TemplateDialog started(IDD_TEMPOVAFORLUTEGATE_DIALOG, language, 12);
        CListCtrl list;
        list.Attach(started.item(IDC_LIST_APPS));
        list.SetExtendedStyle(LVS_EX_CHECKBOXES);
        list.SetCheckBoxesForDpi(144);
        list.InsertItem(0, "Course Tool");
        list.Detach();
        const std::vector<int> changed = layoutOf(dialog.hwnd()),
                               expected = layoutOf(started.m_hwnd);
        ASSERT_EQ(expected.size(), changed.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_NEAR(expected[i], changed[i], 2) << "number " << i << ", language " << language;
        EXPECT_EQ(iconWidth(dialog.hwnd(), ICON_BIG), SystemMetricForDpi(SM_CXICON, 144));
        EXPECT_EQ(iconWidth(dialog.hwnd(), ICON_SMALL), SystemMetricForDpi(SM_CXSMICON, 144));
        dialog.send(WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&window));
        EXPECT_EQ(first, layoutOf(dialog.hwnd())) << "language " << language;
    }
}

TEST(MainDialog, StartsWithAnEmptyListThePromptAndTheUpdateCaption) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ(dialog.rowCount(), 0);
    EXPECT_EQ(dialog.status(), kPressUpdate);
    EXPECT_EQ(windowText(dialog.item(IDC_BUTTON_UPDATE)), "&Update");
    EXPECT_EQ(windowText(dialog.item(IDOK)), "&Apply");
    EXPECT_EQ(windowText(dialog.item(IDCANCEL)), "&Close");
    EXPECT_EQ(windowText(dialog.hwnd()), "Tempova Lutegate Enabler");
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_LE(std::abs(centreOf(dialog.hwnd()).x - (area.left + area.right) / 2), 1);
    EXPECT_LE(std::abs(centreOf(dialog.hwnd()).y - (area.top + area.bottom) / 2), 1);
}

TEST(MainDialog, WindowAndListStylesFollowTheTemplate) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    const LONG style = GetWindowLongA(dialog.hwnd(), GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(GetWindowLongA(dialog.hwnd(), GWL_EXSTYLE) & WS_EX_APPWINDOW);

    const LONG listStyle = GetWindowLongA(dialog.item(IDC_LIST_APPS), GWL_STYLE);
    EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_LIST);
    EXPECT_EQ(listStyle & LVS_ALIGNMASK, LVS_ALIGNLEFT);
    // The list view trades its border for a client edge when it is created.
    EXPECT_TRUE((listStyle & WS_BORDER) ||
                (GetWindowLongA(dialog.item(IDC_LIST_APPS), GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    EXPECT_TRUE(listStyle & WS_TABSTOP);
    EXPECT_FALSE(listStyle & (LVS_SINGLESEL | LVS_SORTASCENDING | LVS_SORTDESCENDING));
    EXPECT_EQ(SendMessageA(dialog.item(IDC_LIST_APPS), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
              LVS_EX_CHECKBOXES);
}

TEST(MainDialog, ControlsSitWhereTheTemplatePutsThem) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    RECT client;
    GetClientRect(dialog.hwnd(), &client);
    const RECT size = dialogUnits(dialog.hwnd(), 0, 0, 349, 240);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    expectRect(dialog.hwnd(), IDC_LIST_APPS, 6, 42, 336, 142);
    expectRect(dialog.hwnd(), IDC_STATIC_STATUS, 12, 193, 330, 16);
    expectRect(dialog.hwnd(), IDC_BUTTON_UPDATE, 177, 219, 50, 14);
    expectRect(dialog.hwnd(), IDOK, 237, 219, 50, 14);
    expectRect(dialog.hwnd(), IDCANCEL, 292, 219, 50, 14);

    // Tab order: the list, then Update, Apply, Close.
    std::vector<int> order;
    HWND control = dialog.item(IDC_LIST_APPS);
    for (int i = 0; i < 4; ++i) {
        order.push_back(GetDlgCtrlID(control));
        control = GetNextDlgTabItem(dialog.hwnd(), control, FALSE);
    }
    EXPECT_EQ(order, (std::vector<int>{IDC_LIST_APPS, IDC_BUTTON_UPDATE, IDOK, IDCANCEL}));
    EXPECT_EQ(GetWindowLongA(dialog.item(IDOK), GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON);
}

// Each of its size at the screen's DPI, not one scaled to the other.
TEST(MainDialog, ShowsTheApplicationIconBigAndSmall) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ(iconWidth(dialog.hwnd(), ICON_BIG), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(iconWidth(dialog.hwnd(), ICON_SMALL), GetSystemMetrics(SM_CXSMICON));
    EXPECT_NE(dialog.send(WM_QUERYDRAGICON), 0); // the minimised dialog is dragged with it
}

TEST(MainDialog, SystemMenuEndsWithASeparatorAndTheAboutEntry) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    std::string text;
    UINT separatorState = 0, aboutId = 0;
    dialog.run([&] {
        HMENU menu = GetSystemMenu(dialog.hwnd(), FALSE);
        const int count = GetMenuItemCount(menu);
        char buffer[256] = {};
        GetMenuStringA(menu, count - 1, buffer, sizeof buffer, MF_BYPOSITION);
        text = buffer;
        aboutId = GetMenuItemID(menu, count - 1);
        separatorState = GetMenuState(menu, count - 2, MF_BYPOSITION);
    });
    EXPECT_EQ(text, "&About TempovaForLutegate...");
    EXPECT_EQ(aboutId, 0x0010u);
    EXPECT_TRUE(separatorState & MF_SEPARATOR);
}

TEST(MainDialog, AboutEntryOpensTheAboutBoxOverTheDialog) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.post(WM_SYSCOMMAND, 0x0010);
    ASSERT_TRUE(waitUntil([] { return findAboutBox() && IsWindowVisible(findAboutBox()); }));
    HWND about = findAboutBox();
    EXPECT_FALSE(IsWindowEnabled(dialog.hwnd()));
    EXPECT_EQ(windowText(GetDlgItem(about, IDOK)), "OK");
    HWND version = FindWindowExA(about, nullptr, "Static", "TempovaForLutegate, Version 1.0");
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(GetWindowLongA(version, GWL_STYLE) & SS_NOPREFIX);
    RECT versionClient{};
    GetClientRect(version, &versionClient);
    EXPECT_LE(textWidth(version), versionClient.right) << "the version stays on its one line";
    EXPECT_LE(std::abs(centreOf(about).x - centreOf(dialog.hwnd()).x), 1);
    EXPECT_LE(std::abs(centreOf(about).y - centreOf(dialog.hwnd()).y), 1);
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));
    ASSERT_TRUE(dialog.flush());
    EXPECT_TRUE(IsWindowEnabled(dialog.hwnd()));
    EXPECT_FALSE(dialog.waitForEnd(0));
}

TEST(MainDialog, RowsKeepTheirOrderTheirCheckStateAndTheirOwnProgramNames) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.addRow("Course Tool", "CourseTool.exe", true);
    dialog.addRow("Course Tool", "other.exe;more.exe", false);
    dialog.addRow("Player", "", true);
    ASSERT_EQ(dialog.rowCount(), 3);
    EXPECT_EQ(dialog.rowText(0), "Course Tool");
    EXPECT_EQ(dialog.rowText(1), "Course Tool");
    EXPECT_EQ(dialog.rowText(2), "Player");
    EXPECT_EQ(dialog.rowProgram(0), "CourseTool.exe");
    EXPECT_EQ(dialog.rowProgram(1), "other.exe;more.exe");
    EXPECT_EQ(dialog.rowProgram(2), "");
    EXPECT_TRUE(dialog.rowChecked(0));
    EXPECT_FALSE(dialog.rowChecked(1));
    EXPECT_TRUE(dialog.rowChecked(2));
}

TEST(MainDialog, ClearingRemovesEveryRowAndAnEmptyListStaysEmpty) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.run([&] { dialog.dialog().ClearAppList(); });
    EXPECT_EQ(dialog.rowCount(), 0);
    dialog.addRow("A", "a.exe", false);
    dialog.addRow("B", "b.exe", true);
    ASSERT_EQ(dialog.rowCount(), 2);
    dialog.run([&] { dialog.dialog().ClearAppList(); });
    EXPECT_EQ(dialog.rowCount(), 0);
    dialog.addRow("C", "c.exe", true);
    ASSERT_EQ(dialog.rowCount(), 1);
    EXPECT_EQ(dialog.rowText(0), "C");
    EXPECT_TRUE(dialog.rowChecked(0));
}

TEST(MainDialog, EnterAppliesAndKeepsTheDialogOpen) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.post(WM_KEYDOWN, VK_RETURN, 1);
    dialog.post(WM_KEYUP, VK_RETURN, 0xC0000001);
    ASSERT_TRUE(dialog.flush());
    EXPECT_EQ(dialog.status(), "Applying choices...done.");
    // An OK command of another notification code (an accelerator's) applies too.
    SetWindowTextA(dialog.item(IDC_STATIC_STATUS), "");
    dialog.post(WM_COMMAND, MAKEWPARAM(IDOK, 1));
    ASSERT_TRUE(dialog.flush());
    EXPECT_EQ(dialog.status(), "Applying choices...done.");
    EXPECT_FALSE(dialog.waitForEnd(100));
    EXPECT_TRUE(IsWindowVisible(dialog.hwnd()));
}

TEST(MainDialog, EscClosesTheDialogAndFreesTheRows) {
    for (const bool byKey : {true, false}) {
        RunningDialog dialog;
        ASSERT_TRUE(dialog.hwnd());
        dialog.addRow("A", "a.exe", true);
        dialog.addRow("B", "b.exe", false);
        if (byKey)
            PostMessageA(dialog.item(IDC_LIST_APPS), WM_KEYDOWN, VK_ESCAPE, 1);
        else // a Cancel command of another notification code (an accelerator's)
            dialog.post(WM_COMMAND, MAKEWPARAM(IDCANCEL, 1));
        ASSERT_TRUE(dialog.waitForEnd());
        EXPECT_EQ(dialog.result(), IDCANCEL);
        EXPECT_EQ(dialog.dialog().m_rowsAtEnd, 0);
    }
}

TEST(MainDialog, CloseButtonAndSystemMenuCloseEndTheDialog) {
    {
        RunningDialog dialog;
        ASSERT_TRUE(dialog.hwnd());
        dialog.post(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(dialog.item(IDCANCEL)));
        ASSERT_TRUE(dialog.waitForEnd());
        EXPECT_EQ(dialog.result(), IDCANCEL);
    }
    {
        RunningDialog dialog;
        ASSERT_TRUE(dialog.hwnd());
        dialog.post(WM_SYSCOMMAND, SC_CLOSE);
        ASSERT_TRUE(dialog.waitForEnd());
        EXPECT_EQ(dialog.result(), IDCANCEL);
    }
}

TEST(MainDialog, MinimisedDialogPaintsAndRestores) {
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.run([&] {
        ShowWindow(dialog.hwnd(), SW_MINIMIZE);
        UpdateWindow(dialog.hwnd());
    });
    EXPECT_TRUE(IsIconic(dialog.hwnd()));
    dialog.run([&] {
        RedrawWindow(dialog.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        ShowWindow(dialog.hwnd(), SW_RESTORE);
        UpdateWindow(dialog.hwnd());
    });
    EXPECT_FALSE(IsIconic(dialog.hwnd()));
    EXPECT_FALSE(dialog.waitForEnd(0));
}

TEST(MainDialog, OpeningAndClosingLeavesNoHandlesBehind) {
    auto openAndClose = [] {
        RunningDialog dialog;
        ASSERT_TRUE(dialog.hwnd());
        dialog.addRow("A", "a.exe", true);
        dialog.send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        dialog.post(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
        ASSERT_TRUE(dialog.waitForEnd());
    };
    openAndClose();
    const DWORD before = test_support::handleCount();
    for (int i = 0; i < 3; ++i)
        openAndClose();
    EXPECT_EQ(test_support::handleCount(), before);
}
