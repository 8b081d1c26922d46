#include "TestRegistry.h"

#include "TextConversion.h"

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
    std::vector<wchar_t> text(1);
    DWORD size = 0;
    const std::wstring wideName = ansiToWide(name);
    LSTATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        text.resize(size / sizeof(wchar_t) + 1);
        size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegGetValueW(HKEY_CURRENT_USER, ansiToWide(keyPath).c_str(), wideName.c_str(),
                              RRF_RT_REG_SZ, nullptr, text.data(), &size);
    }
    if (status != ERROR_SUCCESS)
        return "<absent>";
    std::wstring stored(text.data(), size / sizeof(wchar_t));
    while (!stored.empty() && stored.back() == L'\0')
        stored.pop_back();
    return wideToAnsi(stored, CP_UTF8);
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

void writeRegistryText(const std::string& keyPath, const std::string& name,
                       const std::string& text) {
    createRegistryKey(keyPath);
    const std::wstring wide = ansiToWide(text, CP_UTF8);
    RegSetKeyValueW(HKEY_CURRENT_USER, ansiToWide(keyPath).c_str(), ansiToWide(name).c_str(),
                    REG_SZ, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
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
