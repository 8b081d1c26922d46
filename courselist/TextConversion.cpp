#include "TextConversion.h"

#include <windows.h>

#include <climits>
#include <new>

namespace {

int checkedLength(size_t length) {
    if (length > static_cast<size_t>(INT_MAX))
        throw std::bad_alloc();
    return static_cast<int>(length);
}

} // namespace

std::wstring ansiToWide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int length = checkedLength(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring result(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, &result[0], needed);
    return result;
}

std::string wideToAnsi(const wchar_t* text, size_t length) {
    if (!text || length == 0)
        return std::string();
    const int wideLength = checkedLength(length);
    // No best-fit guesses: what the code page lacks becomes its default character.
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int needed =
        WideCharToMultiByte(CP_ACP, flags, text, wideLength, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, flags, text, wideLength, &result[0], needed, nullptr, nullptr);
    return result;
}

std::string wideToAnsi(const std::wstring& text) {
    return wideToAnsi(text.data(), text.size());
}
