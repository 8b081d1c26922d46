#pragma once

#include <string>
#include <utility>
#include <vector>

namespace test_support {

// The whole file as bytes; empty when it cannot be read.
std::string readFile(const std::string& path);

// Writes the bytes, replacing the file, and creates every missing folder on
// the way (a fresh Wine prefix has no folder of the tool's yet).
void writeFile(const std::string& path, const std::string& content);

// The tool's local copy of the course list in the user folder.
std::string localCopyPath();

// A course list with a root "applications" and one "app" per entry: display
// name and program file name.
std::string courseList(const std::vector<std::pair<std::string, std::string>>& entries);

} // namespace test_support
