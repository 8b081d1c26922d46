#include "TestRegistry.h"

#include <vector>

namespace test_support {

RegistryValue readRegistryValue(const std::string& keyPath, const std::string& name) {
    RegistryValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) ==
        ERROR_SUCCESS) {
        std::vector<char> data(size + 1);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                             reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
            value.exists = true;
            value.data.assign(data.data(), size);
        }
    }
    RegCloseKey(key);
    return value;
}

std::string storedText(const std::string& keyPath, const std::string& name) {
    const RegistryValue value = readRegistryValue(keyPath, name);
    if (!value.exists)
        return "<absent>";
    std::string text = value.data;
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

void writeRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                        const std::string& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

void createRegistryKey(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

bool registryKeyExists(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void deleteRegistryTree(const std::string& keyPath) {
    RegDeleteTreeA(HKEY_CURRENT_USER, keyPath.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
}

} // namespace test_support
