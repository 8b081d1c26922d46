#pragma once

// Conversions between an 8-bit code page (the system ANSI code page unless
// told otherwise) and UTF-16. Characters that the code page cannot represent
// become its default character. A conversion that fails throws
// TextConversionError: a text is never silently emptied.
#include <windows.h>

#include <string>

struct TextConversionError {
    DWORD error; // the platform's error code
};

std::wstring ansiToWide(const std::string& text, UINT codePage = CP_ACP);
std::string wideToAnsi(const wchar_t* text, size_t length, UINT codePage = CP_ACP);
std::string wideToAnsi(const std::wstring& text, UINT codePage = CP_ACP);
