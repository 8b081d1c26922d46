#include "ReliabilitySupport.h"

#include "Utilities.h"

#include <psapi.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace reliability {

int cycles() {
    const char* text = std::getenv("RELIABILITY_CYCLES");
    const int count = text ? std::atoi(text) : 0;
    return count > 0 ? count : 500;
}

size_t privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

std::string localCopyPath() {
    return std::string(kelvora_core::getUserAppPath()) + "\\lutegate.xml";
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

} // namespace reliability
