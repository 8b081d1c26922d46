#pragma once

// Conversions between the system ANSI code page and UTF-16. Characters that
// the code page cannot represent become its default character.
#include <string>

std::wstring ansiToWide(const std::string& text);
std::string wideToAnsi(const wchar_t* text, size_t length);
std::string wideToAnsi(const std::wstring& text);
