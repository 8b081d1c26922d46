#include "Preferences.h"

#include "TextConversion.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

namespace kelvora_core {

std::string Preferences::s_company = "Kelvora";
std::string Preferences::s_app = "Vexa";
std::string Preferences::s_stringResult;

namespace {

const char* const kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr REGSAM kWriteAccess = KEY_WRITE | KEY_QUERY_VALUE; // 0x20007

// Closes the registry key it holds.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool open(const std::string& path, REGSAM access) {
        return openStatus(path, access) == ERROR_SUCCESS;
    }
    LONG openStatus(const std::string& path, REGSAM access) {
        return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &m_key);
    }
    bool create(const std::string& path) {
        return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               kWriteAccess, nullptr, &m_key, nullptr) == ERROR_SUCCESS;
    }
    bool query(const std::string& name, void* data, DWORD& size) const {
        return RegQueryValueExA(m_key, name.c_str(), nullptr, nullptr, static_cast<BYTE*>(data),
                                &size) == ERROR_SUCCESS;
    }
    bool queryWide(const std::string& name, DWORD& type, void* data, DWORD& size) const {
        return RegQueryValueExW(m_key, ansiToWide(name).c_str(), nullptr, &type,
                                static_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
    }
    bool has(const std::string& name) const {
        return RegQueryValueExA(m_key, name.c_str(), nullptr, nullptr, nullptr, nullptr) !=
               ERROR_FILE_NOT_FOUND;
    }
    void set(const std::string& name, DWORD type, const void* data, DWORD size) const {
        RegSetValueExA(m_key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    }
    void remove(const std::string& name) const { RegDeleteValueA(m_key, name.c_str()); }

private:
    HKEY m_key = nullptr;
};

// Reads a value of at most 65,536 bytes; false when missing or larger.
bool queryLimited(const RegistryKey& key, const std::string& name, std::string& text) {
    std::unique_ptr<char[]> buffer(new char[Preferences::kMaxStringBytes]);
    DWORD size = Preferences::kMaxStringBytes;
    if (!key.query(name, buffer.get(), size))
        return false;
    text.assign(buffer.get(), strnlen(buffer.get(), size));
    return true;
}

bool isTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Reads a value of at most 65,536 bytes in the process code page, as it is
// stored: text types are read as the registry keeps them (UTF-16) and taken
// only when every character converts exactly, since the ANSI read would put
// the default character in place of one the code page lacks. False when the
// value is missing, larger, or would lose a character.
bool queryExact(const RegistryKey& key, const std::string& name, std::string& text) {
    // No exact conversion yields fewer bytes than it has UTF-16 units.
    std::vector<wchar_t> buffer(Preferences::kMaxStringBytes);
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (!key.queryWide(name, type, buffer.data(), size))
        return false;
    if (!isTextType(type)) {
        const char* bytes = reinterpret_cast<const char*>(buffer.data());
        if (size > Preferences::kMaxStringBytes)
            return false;
        text.assign(bytes, strnlen(bytes, size));
        return true;
    }
    const size_t length = wcsnlen(buffer.data(), size / sizeof(wchar_t));
    std::string converted;
    try {
        if (!wideToAnsiExact(buffer.data(), length, converted))
            return false;
    } catch (const TextConversionError&) {
        return false;
    }
    if (converted.size() >= Preferences::kMaxStringBytes) // no room for its end
        return false;
    text = std::move(converted);
    return true;
}

std::string settingsKey(const std::string& company, const std::string& app,
                        const std::string& section) {
    return "Software\\" + company + "\\" + app + "\\" + section;
}

} // namespace

void Preferences::setCompanyAndApp(const std::string& company, const std::string& app) {
    s_company = company;
    s_app = app;
}

// Data shorter than 4 bytes is read as the little-endian number it holds.
int Preferences::getInt(const std::string& section, const std::string& name, int defaultValue) {
    RegistryKey key;
    if (!key.open(settingsKey(s_company, s_app, section), KEY_QUERY_VALUE))
        return defaultValue;
    DWORD value = 0;
    DWORD size = sizeof value;
    return key.query(name, &value, size) ? static_cast<int>(value) : defaultValue;
}

bool Preferences::getBool(const std::string& section, const std::string& name, bool defaultValue) {
    return getInt(section, name, defaultValue ? 1 : 0) != 0;
}

const char* Preferences::getString(const std::string& section, const std::string& name,
                                   const std::string& defaultValue) {
    s_stringResult = defaultValue;
    RegistryKey key;
    if (key.open(settingsKey(s_company, s_app, section), KEY_QUERY_VALUE))
        queryLimited(key, name, s_stringResult);
    return s_stringResult.c_str();
}

Preferences::Stored Preferences::readString(const std::string& section, const std::string& name,
                                            std::string& text) {
    RegistryKey key;
    const LONG opened = key.openStatus(settingsKey(s_company, s_app, section), KEY_QUERY_VALUE);
    if (opened == ERROR_FILE_NOT_FOUND)
        return Stored::Absent;
    if (opened != ERROR_SUCCESS)
        return Stored::Unreadable;
    if (queryExact(key, name, text))
        return Stored::Read;
    return key.has(name) ? Stored::Unreadable : Stored::Absent;
}

void Preferences::setInt(const std::string& section, const std::string& name, int value) {
    RegistryKey key;
    if (key.create(settingsKey(s_company, s_app, section)))
        key.set(name, REG_DWORD, &value, sizeof value);
}

void Preferences::setBool(const std::string& section, const std::string& name, bool value) {
    setInt(section, name, value ? 1 : 0);
}

void Preferences::setString(const std::string& section, const std::string& name,
                            const std::string& value) {
    RegistryKey key;
    if (key.create(settingsKey(s_company, s_app, section)))
        key.set(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void Preferences::addToStartup() {
    char path[kMaxPathChars];
    const DWORD length = GetModuleFileNameA(nullptr, path, kMaxPathChars);
    if (length == 0 || length >= kMaxPathChars)
        return;
    RegistryKey key;
    if (key.open(kRunKey, KEY_WRITE))
        key.set(s_app, REG_SZ, path, length + 1);
}

void Preferences::removeFromStartup() {
    RegistryKey key;
    if (key.open(kRunKey, KEY_WRITE))
        key.remove(s_app);
}

bool Preferences::checkStartup() {
    RegistryKey key;
    std::string ignored;
    return key.open(kRunKey, KEY_QUERY_VALUE) && queryLimited(key, s_app, ignored);
}

} // namespace kelvora_core
