#pragma once

#include <windows.h>

#include <string>

namespace test_support {

// A registry value as stored, read without the code under test.
struct RegistryValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string data; // raw bytes
};
RegistryValue readRegistryValue(const std::string& keyPath, const std::string& name);
// A stored text without its terminating zero bytes; "<absent>" when missing.
std::string storedText(const std::string& keyPath, const std::string& name);
void writeRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                        const std::string& data);
void createRegistryKey(const std::string& keyPath);
bool registryKeyExists(const std::string& keyPath);
void deleteRegistryTree(const std::string& keyPath);

} // namespace test_support
