#include "ReliabilitySupport.h"

#include "ChildProcess.h"
#include "Utilities.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace reliability {

test_support::LoopbackHttpServer& server() {
    static test_support::LoopbackHttpServer instance;
    static const bool proxySet = [] {
        const std::string proxy = "http_proxy=http://127.0.0.1:" + std::to_string(instance.port());
        return _putenv(proxy.c_str()) == 0;
    }();
    (void)proxySet;
    return instance;
}

int cycles() {
    const int count = static_cast<int>(test_support::environmentNumber("RELIABILITY_CYCLES", 40));
    return count > 0 ? count : 40;
}

// The committed private regions, summed: Wine leaves the private-usage
// counter of the process memory information at zero.
size_t privateBytes() {
    size_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if (static_cast<char*>(region.BaseAddress) + region.RegionSize < at)
            break;
    }
    return total;
}

} // namespace reliability
