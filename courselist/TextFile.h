#pragma once

// Whole text files through the platform's file calls, in the text form the
// course list keeps on disk: each line feed stored as carriage return and
// line feed, each such pair read back as a line feed.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// The file's size in bytes, or nothing when it cannot be opened. The text is
// read only when the file holds at most maxBytes (and could be read whole).
std::optional<uint64_t> readTextFile(const std::string& path, uint64_t maxBytes, std::string& text);

// The size in bytes of the file that replaceTextFile makes of the text.
uint64_t storedTextBytes(const std::string& text);

// Writes the text to "<path>.tmp", flushes it to the disk and moves it over the file: the
// file is replaced whole or not at all. The temporary file is deleted first (an interrupted
// save's) and again after a failure. ERROR_SUCCESS, or the platform's error code of the step
// that failed (ERROR_PATH_NOT_FOUND for an empty path, which names no file).
DWORD replaceTextFile(const std::string& path, const std::string& text);
