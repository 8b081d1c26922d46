#include "ProgramLists.h"

#include "Preferences.h"
#include "TextConversion.h"
#include "Utilities.h"

#include <windows.h>

#include <algorithm>
#include <unordered_set>

namespace program_lists {

const char* const kModuleDefault =
    "flash10*;flash9*;npswf32.dll;gcswf32.dll;fldbg10*;adobe media player.exe";
const char* const kProgramDefault =
    "iexplore.exe;firefox.exe;chrome.exe;safari.exe;opera.exe;maxthon.exe;flock.exe"
    ";"
    "feeddemon.exe;realplay.exe;flvplayer.exe;flv player.exe;adobe media player.exe;";

std::vector<std::string> splitNames(const std::string& text) {
    std::vector<std::string> names;
    std::string::size_type start = text.find_first_not_of(';');
    while (start != std::string::npos) {
        const std::string::size_type end = text.find(';', start);
        names.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? end : text.find_first_not_of(';', end);
    }
    return names;
}

std::string joinNames(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : ";") + names[i];
    return text;
}

// LCMapString's upper case follows the file system's rule unless linguistic
// casing is asked for; the invariant locale makes it the same for every user.
std::string nameKey(const std::string& name) {
    const std::wstring wide = ansiToWide(name);
    std::wstring key = wide;
    const int length = static_cast<int>(wide.size());
    if (length > 0)
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), length, &key[0], length);
    return wideToAnsi(key, CP_UTF8);
}

namespace {

// A list with the key of each of its names beside it, so that changing it
// converts no name twice.
class KeyedNames {
public:
    explicit KeyedNames(std::vector<std::string>& names) : m_names(names) {
        for (const std::string& name : names)
            m_keys.push_back(nameKey(name));
    }
    void add(const std::string& name, const std::string& key) {
        if (std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end())
            return;
        m_names.push_back(name);
        m_keys.push_back(key);
    }
    void remove(const std::string& key) {
        for (size_t i = m_keys.size(); i-- > 0;) {
            if (m_keys[i] == key) {
                m_names.erase(m_names.begin() + i);
                m_keys.erase(m_keys.begin() + i);
            }
        }
    }

private:
    std::vector<std::string>& m_names;
    std::vector<std::string> m_keys;
};

} // namespace

HookedNames::HookedNames(const std::string& hooked) {
    for (const std::string& name : splitNames(hooked))
        m_keys.insert(nameKey(name));
}

bool HookedNames::hooks(const std::string& programName) const {
    const std::vector<std::string> names = splitNames(programName);
    return !names.empty() && std::all_of(names.begin(), names.end(), [&](const std::string& name) {
        return m_keys.count(nameKey(name)) != 0;
    });
}

bool IsAppHooked(const std::string& hooked, const std::string& programName) {
    return HookedNames(hooked).hooks(programName);
}

std::string hookedPrograms() {
    return joinNames(storedPrograms().names);
}

void applyChoices(const std::vector<RowChoice>& rows, std::vector<std::string>& modules,
                  std::vector<std::string>& programs) {
    std::vector<std::vector<std::string>> rowNames;
    std::unordered_set<std::string> chosen;
    for (const RowChoice& row : rows) {
        rowNames.push_back(splitNames(kelvora_core::toLowerAscii(row.programName)));
        for (const std::string& name : rowNames.back()) {
            if (row.checked)
                chosen.insert(nameKey(name));
        }
    }
    KeyedNames keyedModules(modules), keyedPrograms(programs);
    for (size_t i = 0; i < rows.size(); ++i) {
        for (const std::string& name : rowNames[i]) {
            const std::string key = nameKey(name);
            if (rows[i].checked) {
                keyedModules.add(name, key);
                keyedPrograms.add(name, key);
            } else if (rows[i].shownChecked && chosen.count(key) == 0) {
                keyedModules.remove(key);
                keyedPrograms.remove(key);
            }
        }
    }
}

StoredList::StoredList(const char* section, const char* key, const char* defaultText)
    : m_section(section), m_key(key) {
    using kelvora_core::Preferences;
    switch (Preferences::readString(section, key, m_storedText, &m_readError)) {
    case Preferences::Stored::Read:
        m_wasStored = true;
        names = splitNames(m_storedText);
        break;
    case Preferences::Stored::Absent:
        names = splitNames(defaultText);
        break;
    case Preferences::Stored::Unreadable:
        break;
    }
}

// The store reads back less than its limit: a longer list would be written
// once and then refuse every later Apply.
long StoredList::checkSize() const {
    return joinNames(names).size() < kelvora_core::Preferences::kMaxStringBytes ? ERROR_SUCCESS
                                                                                : ERROR_MORE_DATA;
}

long StoredList::store() const {
    using kelvora_core::Preferences;
    const std::string text = joinNames(names);
    if (const long written = Preferences::writeString(m_section, m_key, text))
        return written;
    std::string stored;
    long error = ERROR_SUCCESS;
    if (Preferences::readString(m_section, m_key, stored, &error) != Preferences::Stored::Read)
        return error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
    return stored == text ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

long StoredList::restore() const {
    using kelvora_core::Preferences;
    return m_wasStored ? Preferences::writeString(m_section, m_key, m_storedText)
                       : Preferences::removeSetting(m_section, m_key);
}

StoredList storedModules() {
    return StoredList(kelvora_core::kFlashAdapter, kelvora_core::kModulesToIntercept,
                      kModuleDefault);
}

StoredList storedPrograms() {
    return StoredList(kelvora_core::kAdapters, kelvora_core::kProgramsToHook, kProgramDefault);
}

long readErrorOfEither(const StoredList& first, const StoredList& second) {
    return first.readError() ? first.readError() : second.readError();
}

long storeBoth(const StoredList& first, const StoredList& second) {
    if (const long error = readErrorOfEither(first, second))
        return error;
    for (const StoredList* list : {&first, &second}) {
        if (const long error = list->checkSize())
            return error;
    }
    if (const long error = first.store()) {
        first.restore();
        return error;
    }
    if (const long error = second.store()) {
        second.restore();
        first.restore();
        return error;
    }
    return ERROR_SUCCESS;
}

} // namespace program_lists
