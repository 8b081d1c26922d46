#include "TextConversion.h"

#include <climits>
#include <cwchar>
#include <new>
#include <utility>

namespace {

int checkedLength(size_t length) {
    if (length > static_cast<size_t>(INT_MAX))
        throw std::bad_alloc();
    return static_cast<int>(length);
}

[[noreturn]] void throwLastError() {
    throw TextConversionError{GetLastError()};
}

// No best-fit guesses: what the code page lacks becomes its default
// character. Some code pages (UTF-8, GB18030, UTF-7, ...) refuse the flag;
// they have no best fit to avoid, so they convert without it.
int toAnsi(UINT codePage, const wchar_t* text, int length, char* out, int outLength) {
    const int result = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, length, out,
                                           outLength, nullptr, nullptr);
    if (result == 0 && GetLastError() == ERROR_INVALID_FLAGS)
        return WideCharToMultiByte(codePage, 0, text, length, out, outLength, nullptr, nullptr);
    return result;
}

} // namespace

std::wstring ansiToWide(const std::string& text, UINT codePage) {
    if (text.empty())
        return std::wstring();
    const int length = checkedLength(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        throwLastError();
    std::wstring result(static_cast<size_t>(needed), L'\0');
    if (MultiByteToWideChar(codePage, 0, text.data(), length, &result[0], needed) != needed)
        throwLastError();
    return result;
}

std::string wideToAnsi(const wchar_t* text, size_t length, UINT codePage) {
    if (!text || length == 0)
        return std::string();
    const int wideLength = checkedLength(length);
    const int needed = toAnsi(codePage, text, wideLength, nullptr, 0);
    if (needed <= 0)
        throwLastError();
    std::string result(static_cast<size_t>(needed), '\0');
    if (toAnsi(codePage, text, wideLength, &result[0], needed) != needed)
        throwLastError();
    return result;
}

std::string wideToAnsi(const std::wstring& text, UINT codePage) {
    return wideToAnsi(text.data(), text.size(), codePage);
}

// Judged by the way back rather than by the default-character flag: UTF-8
// and several multi-byte code pages refuse that flag, and the way back also
// catches a look-alike or a lone surrogate.
bool wideToAnsiExact(const wchar_t* text, size_t length, std::string& result, UINT codePage) {
    if (!text || length == 0) {
        result.clear();
        return true;
    }
    std::string converted = wideToAnsi(text, length, codePage);
    const std::wstring back = ansiToWide(converted, codePage);
    if (back.size() != length || back.compare(0, length, text, length) != 0)
        return false;
    result = std::move(converted);
    return true;
}

namespace {

// The code page that the system starts every process with, as it records it:
// a decimal number in the registry's national language settings.
UINT recordedAnsiCodePage() {
    wchar_t text[16] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage",
                     L"ACP", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return 0;
    const UINT codePage = static_cast<UINT>(std::wcstoul(text, nullptr, 10));
    return IsValidCodePage(codePage) ? codePage : 0;
}

// The recorded code page is the one in force (it also holds UTF-8 where the
// system runs every program in it); the system locale's is what it derives
// from. A locale without an ANSI code page has programs work in UTF-8.
UINT lookUpSystemAnsiCodePage() {
    if (const UINT recorded = recordedAnsiCodePage())
        return recorded;
    DWORD codePage = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t)) &&
        codePage != 0 && IsValidCodePage(codePage))
        return codePage;
    return CP_UTF8;
}

} // namespace

// Looked up once: the system sets it when it starts, and every course list
// entry asks for it.
UINT systemAnsiCodePage() {
    static const UINT codePage = lookUpSystemAnsiCodePage();
    return codePage;
}
