#include "TestFiles.h"

#include "Utilities.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace test_support {

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string localCopyPath() {
    return std::string(kelvora_core::getUserAppPath()) + "\\lutegate.xml";
}

std::string courseList(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string text = "<?xml version=\"1.0\"?>\n<applications>\n";
    for (const auto& [name, program] : entries)
        text += "  <app exe=\"" + program + "\">" + name + "</app>\n";
    return text + "</applications>\n";
}

} // namespace test_support
