#pragma once

#include <windows.h>

#include <string>

namespace reliability {

// Cycles of the repeated-work cases: RELIABILITY_CYCLES when set, else 500.
int cycles();
// Bytes this process has committed for itself.
size_t privateBytes();
// The user's local copy of the course list.
std::string localCopyPath();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

} // namespace reliability
