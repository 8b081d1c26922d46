// Every language of the dialog as Windows shows it to a user of that
// language: each translation has every string of the English table with the
// same printf fields, and each language's own templates fit its texts at 96
// and 144 DPI with access keys that are each control's own, idle and during
// an Update.
#include "DialogHarness.h"
#include "resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

using app_test::repeatedAccessKeys;

namespace {

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
// Not text for people: every language reads them from the English table.
const unsigned kNeverTranslated[] = {IDS_APPS_TAG, IDS_COURSE_LIST_URL, IDS_LOCAL_COPY_NAME};

using Table = std::map<unsigned, std::wstring>;
using Tables = std::map<LANGID, Table>;

BOOL CALLBACK addBlock(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR to) {
    const auto first = (static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)) - 1) * 16;
    const auto* entry = static_cast<const wchar_t*>(
        LockResource(LoadResource(module, FindResourceExW(module, type, name, language))));
    for (unsigned i = 0; i < 16; entry += 1 + *entry, ++i) {
        if (*entry)
            (*reinterpret_cast<Tables*>(to))[language][first + i] = std::wstring(entry + 1, *entry);
    }
    return TRUE;
}

BOOL CALLBACK addBlockLanguages(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR to) {
    return EnumResourceLanguagesW(module, type, name, addBlock, to);
}

// Every string table of this program (which carries the tool's resources),
// by language, each exactly as its language has it.
Tables stringTables() {
    Tables tables;
    EnumResourceNamesW(nullptr, reinterpret_cast<LPCWSTR>(RT_STRING), addBlockLanguages,
                       reinterpret_cast<LONG_PTR>(&tables));
    return tables;
}

// The printf fields in their order: "%d%x" for "code: %d (0x%x)".
std::wstring printfFields(const std::wstring& text) {
    std::wstring fields;
    for (size_t at = text.find(L'%'); at != std::wstring::npos; at = text.find(L'%', at + 1))
        fields += text.substr(at, text.find_first_not_of(L"-+ #0123456789.hl", at + 1) - at + 1);
    return fields;
}

// The characters that the font draws as its missing glyph: those it lacks
// that no font linked to it (as Tahoma is to the Japanese fonts) has either.
std::wstring boxedCharacters(HFONT font, const std::wstring& text) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP canvas = CreateCompatibleBitmap(dc, 64, 64);
    SelectObject(dc, canvas);
    SelectObject(dc, font);
    const auto drawn = [&](const wchar_t* character, UINT options) {
        std::vector<BYTE> bits(64 * 64 / 8);
        PatBlt(dc, 0, 0, 64, 64, WHITENESS);
        ExtTextOutW(dc, 0, 0, options, nullptr, character, 1, nullptr);
        GetBitmapBits(canvas, static_cast<LONG>(bits.size()), bits.data());
        return bits;
    };
    const wchar_t missingGlyph = 0;
    std::vector<WORD> glyphs(text.size());
    GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
    std::wstring boxed;
    for (size_t i = 0; i < text.size(); ++i) {
        if (glyphs[i] == 0xFFFF && drawn(&text[i], 0) == drawn(&missingGlyph, ETO_GLYPH_INDEX))
            boxed += text[i];
    }
    DeleteDC(dc);
    DeleteObject(canvas);
    return boxed;
}

// Whether the text shows whole in the control's font: every character drawn,
// within the client area, wrapped at its words in a static text, on one line
// within a button's frame.
bool fits(HWND control, const std::wstring& text) {
    RECT client{};
    GetClientRect(control, &client);
    wchar_t kind[16] = {};
    GetClassNameW(control, kind, 16);
    const bool button = lstrcmpiW(kind, L"Button") == 0;
    if (button)
        InflateRect(&client, -2 * GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    const bool noPrefix = !button && (GetWindowLongW(control, GWL_STYLE) & SS_NOPREFIX);
    RECT needed{0, 0, client.right - client.left, 0};
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), -1, &needed,
              DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK) | (noPrefix ? DT_NOPREFIX : 0));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return needed.right <= client.right - client.left &&
           needed.bottom <= client.bottom - client.top && boxedCharacters(font, text).empty();
}

void expectTextsFit(HWND dialog) {
    for (HWND control = GetWindow(dialog, GW_CHILD); control;
         control = GetWindow(control, GW_HWNDNEXT)) {
        wchar_t text[512] = {};
        if ((GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) != SS_ICON &&
            GetWindowTextW(control, text, 512)) {
            EXPECT_TRUE(fits(control, text)) << text;
        }
    }
}

// What the status line shows, each with the widest code and value, and an
// Update's longest dots with "done.".
std::vector<std::wstring> statusTexts(const Table& table) {
    const std::wstring longestDots(CStatusLine::kMostDots + 1, L'.');
    std::vector<std::wstring> texts = {table.at(IDS_APPLYING) + table.at(IDS_DONE),
                                       table.at(IDS_UPDATING) + longestDots + table.at(IDS_DONE)};
    for (const auto& [id, text] : table) {
        wchar_t shown[512];
        std::swprintf(shown, 512, text.c_str(), IDS_ERR_RESTART, 0xFFFFFFFFu);
        if (id != IDS_ABOUTBOX && id != IDS_UPDATE && id != IDS_CANCEL)
            texts.push_back(shown);
    }
    return texts;
}

} // namespace

TEST(Translations, HaveEveryEnglishStringWithItsPrintfFieldsAndAccessKey) {
    Tables tables = stringTables();
    EXPECT_EQ(tables.size(), 10u) << "English and nine translations";
    Table english = tables[kEnglish];
    for (unsigned id : kNeverTranslated)
        english.erase(id);
    for (const auto& [language, table] : tables) {
        if (language == kEnglish)
            continue;
        EXPECT_EQ(table.size(), english.size()) << std::hex << language;
        for (const auto& [id, text] : english) {
            ASSERT_TRUE(table.count(id)) << std::hex << language << " lacks " << std::dec << id;
            const std::wstring& translated = table.at(id);
            EXPECT_EQ(printfFields(translated), printfFields(text)) << translated;
            EXPECT_EQ(std::count(translated.begin(), translated.end(), L'&'),
                      std::count(text.begin(), text.end(), L'&'))
                << translated;
        }
    }
}

TEST(Translations, TextsFitAt96And144DpiAndEachAccessKeyIsOneControlsOwn) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const HFONT captionFont = CreateFontIndirectW(&metrics.lfCaptionFont);
    for (const auto& [language, texts] : stringTables()) {
        for (const WORD points : {8, 12}) {
            SCOPED_TRACE(std::to_string(language) + ", " + std::to_string(points) + " points");
            const app_test::TemplateDialog about(IDD_ABOUTBOX, language, points);
            expectTextsFit(about.m_hwnd);
            // The title in the title bar's font, on its one line left of the
            // close button.
            wchar_t caption[256] = {};
            GetWindowTextW(about.m_hwnd, caption, 256);
            RECT bar{};
            GetClientRect(about.m_hwnd, &bar);
            const int height = GetSystemMetrics(SM_CYCAPTION);
            const HWND title = CreateWindowW(L"Static", L"", WS_CHILD, 0, 0, bar.right - height - 1,
                                             height, about.m_hwnd, nullptr, nullptr, nullptr);
            SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(captionFont), FALSE);
            EXPECT_TRUE(fits(title, caption)) << caption;
            const app_test::TemplateDialog main(IDD_TEMPOVAFORLUTEGATE_DIALOG, language, points);
            expectTextsFit(main.m_hwnd);
            for (const unsigned caption : {IDS_UPDATE, IDS_CANCEL}) { // idle, updating
                SetWindowTextW(main.item(IDC_BUTTON_UPDATE), texts.at(caption).c_str());
                EXPECT_TRUE(fits(main.item(IDC_BUTTON_UPDATE), texts.at(caption)));
                EXPECT_EQ(L"", repeatedAccessKeys(main.m_hwnd));
            }
            for (const std::wstring& status : statusTexts(texts))
                EXPECT_TRUE(fits(main.item(IDC_STATIC_STATUS), status)) << status;
        }
    }
    DeleteObject(captionFont);
}

// Where the code page cannot spell the user's language, the tool speaks
// English rather than "?": ctest's app_tests_japanese_ui runs this for a
// Japanese user in code page 1252.
TEST(Translations, LanguageTheCodePageCannotSpellGivesWayToEnglish) {
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_JAPANESE || GetACP() != 1252)
        GTEST_SKIP() << "run app_tests_japanese_ui";
    app_test::RunningDialog dialog;
    EXPECT_EQ("&Update", app_test::windowText(dialog.item(IDC_BUTTON_UPDATE)));
    EXPECT_EQ("Click the Update button to update or load course list from web.", dialog.status());
}
