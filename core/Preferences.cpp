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
    LONG create(const std::string& path) {
        return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               kWriteAccess, nullptr, &m_key, nullptr);
    }
    bool query(const std::string& name, void* data, DWORD& size) const {
        return RegQueryValueExA(m_key, name.c_str(), nullptr, nullptr, static_cast<BYTE*>(data),
                                &size) == ERROR_SUCCESS;
    }
    LONG queryWide(const std::string& name, DWORD& type, void* data, DWORD& size) const {
        return RegQueryValueExW(m_key, ansiToWide(name).c_str(), nullptr, &type,
                                static_cast<BYTE*>(data), &size);
    }
    LONG set(const std::string& name, DWORD type, const void* data, DWORD size) const {
        return RegSetValueExA(m_key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    }
    LONG remove(const std::string& name) const { return RegDeleteValueA(m_key, name.c_str()); }

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

// Reads a REG_SZ value of at most 65,536 bytes as stored: in UTF-16, taken only when every
// character converts exactly into the process code page (an ANSI read would put the default
// character in). ERROR_FILE_NOT_FOUND when missing, ERROR_UNSUPPORTED_TYPE for another type,
// ERROR_MORE_DATA when larger, ERROR_NO_UNICODE_TRANSLATION when a character would be lost.
LONG queryExact(const RegistryKey& key, const std::string& name, std::string& text) {
    // No exact conversion yields fewer bytes than it has UTF-16 units.
    std::vector<wchar_t> buffer(Preferences::kMaxStringBytes);
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LONG queried = key.queryWide(name, type, buffer.data(), size);
    if (queried != ERROR_SUCCESS)
        return queried;
    if (type != REG_SZ)
        return ERROR_UNSUPPORTED_TYPE;
    const size_t length = wcsnlen(buffer.data(), size / sizeof(wchar_t));
    std::string converted;
    try {
        if (!wideToAnsiExact(buffer.data(), length, converted))
            return ERROR_NO_UNICODE_TRANSLATION;
    } catch (const TextConversionError& failure) {
        return static_cast<LONG>(failure.error);
    }
    if (converted.size() >= Preferences::kMaxStringBytes) // no room for its end
        return ERROR_MORE_DATA;
    text = std::move(converted);
    return ERROR_SUCCESS;
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
                                            std::string& text, long* error) {
    RegistryKey key;
    LONG status = key.openStatus(settingsKey(s_company, s_app, section), KEY_QUERY_VALUE);
    if (status == ERROR_SUCCESS)
        status = queryExact(key, name, text);
    if (status == ERROR_SUCCESS)
        return Stored::Read;
    if (status == ERROR_FILE_NOT_FOUND)
        return Stored::Absent;
    if (error)
        *error = status;
    return Stored::Unreadable;
}

long Preferences::writeString(const std::string& section, const std::string& name,
                              const std::string& value) {
    RegistryKey key;
    const LONG created = key.create(settingsKey(s_company, s_app, section));
    if (created != ERROR_SUCCESS)
        return created;
    return key.set(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

long Preferences::removeSetting(const std::string& section, const std::string& name) {
    RegistryKey key;
    LONG status = key.openStatus(settingsKey(s_company, s_app, section), KEY_SET_VALUE);
    if (status == ERROR_SUCCESS)
        status = key.remove(name);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

void Preferences::setInt(const std::string& section, const std::string& name, int value) {
    RegistryKey key;
    if (key.create(settingsKey(s_company, s_app, section)) == ERROR_SUCCESS)
        key.set(name, REG_DWORD, &value, sizeof value);
}

void Preferences::setBool(const std::string& section, const std::string& name, bool value) {
    setInt(section, name, value ? 1 : 0);
}

void Preferences::setString(const std::string& section, const std::string& name,
                            const std::string& value) {
    writeString(section, name, value);
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
