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
// A stored text in UTF-8, as the registry holds it (read in UTF-16, whatever
// this program's code page), without its terminating zeros; "<absent>" when
// missing.
std::string storedText(const std::string& keyPath, const std::string& name);
void writeRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                        const std::string& data);
// Stores UTF-8 text as a string value in UTF-16, as a program of any code page may.
void writeRegistryText(const std::string& keyPath, const std::string& name,
                       const std::string& text);
void createRegistryKey(const std::string& keyPath);
bool registryKeyExists(const std::string& keyPath);
void deleteRegistryTree(const std::string& keyPath);

} // namespace test_support
