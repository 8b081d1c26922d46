#pragma once

#include <string>

namespace test_support {

// The whole file as bytes; empty when it cannot be read.
std::string readFile(const std::string& path);

// Writes the bytes, replacing the file, and creates every missing folder on
// the way (a fresh Wine prefix has no folder of the tool's yet).
void writeFile(const std::string& path, const std::string& content);

// The tool's local copy of the course list in the user folder.
std::string localCopyPath();

} // namespace test_support
