#include "StringTable.h"

#include <windows.h>

std::string loadResourceString(unsigned id) {
    char buffer[1024];
    const int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}
