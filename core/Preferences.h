#pragma once

#include "Export.h"
#include "SettingKeys.h"

#include <string>

namespace kelvora_core {

// Settings of the product family in HKEY_CURRENT_USER under
// Software\<company>\<app>\<section>. Reads fall back to the caller's
// default; failed writes are skipped. Nothing is reported.
class Preferences {
public:
    KELVORA_API static void setCompanyAndApp(const std::string& company, const std::string& app);

    KELVORA_API static bool getBool(const std::string& section, const std::string& name,
                                    bool defaultValue);
    KELVORA_API static int getInt(const std::string& section, const std::string& name,
                                  int defaultValue);
    // The text lives until the next getString call anywhere in the process.
    KELVORA_API static const char* getString(const std::string& section, const std::string& name,
                                             const std::string& defaultValue);

    // How a string setting stands: read into text, absent, or unreadable (not REG_SZ, larger
    // than the store reads, key not openable, or a character the process code page lacks,
    // shown by getString as the default one). Unlike getString it tells absent from unreadable
    // and never gives a changed text; error, if given, gets an unreadable one's platform code.
    enum class Stored { Read, Absent, Unreadable };
    KELVORA_API static Stored readString(const std::string& section, const std::string& name,
                                         std::string& text, long* error = nullptr);
    // Stores the text as setString does; the platform's error code, 0 when stored.
    KELVORA_API static long writeString(const std::string& section, const std::string& name,
                                        const std::string& value);
    // Removes the setting; 0 when it is gone (also when it was never there).
    KELVORA_API static long removeSetting(const std::string& section, const std::string& name);

    KELVORA_API static void setBool(const std::string& section, const std::string& name,
                                    bool value);
    KELVORA_API static void setInt(const std::string& section, const std::string& name, int value);
    KELVORA_API static void setString(const std::string& section, const std::string& name,
                                      const std::string& value);

    // The start-up entry (per-user Run key) named after the application word.
    KELVORA_API static void addToStartup();
    KELVORA_API static void removeFromStartup();
    KELVORA_API static bool checkStartup();

    static constexpr unsigned kMaxStringBytes = 65536;
    static constexpr unsigned kMaxPathChars = 260;

    Preferences() = delete;

private:
    static std::string s_company;
    static std::string s_app;
    static std::string s_stringResult;
};

} // namespace kelvora_core
