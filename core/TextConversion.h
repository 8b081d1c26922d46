#pragma once

// Conversions between an 8-bit code page (the system ANSI code page unless
// told otherwise) and UTF-16. Characters that the code page cannot represent
// become its default character, unless the exact conversion is asked for. A
// conversion that fails throws TextConversionError: a text is never silently
// emptied.
#include <windows.h>

#include <string>

struct TextConversionError {
    DWORD error; // the platform's error code
};

std::wstring ansiToWide(const std::string& text, UINT codePage = CP_ACP);
std::string wideToAnsi(const wchar_t* text, size_t length, UINT codePage = CP_ACP);
std::string wideToAnsi(const std::wstring& text, UINT codePage = CP_ACP);

// The text in the code page when it converts back to exactly the same
// characters; false when a character would be lost (the default character
// or a look-alike in its place, or a lone surrogate), and the result is then
// left unchanged.
bool wideToAnsiExact(const wchar_t* text, size_t length, std::string& result,
                     UINT codePage = CP_ACP);

// The code page in which programs without a code page of their own (the
// speed product, for one) read and write 8-bit text: the system's, as the
// locale sets it, whatever this process uses.
UINT systemAnsiCodePage();
