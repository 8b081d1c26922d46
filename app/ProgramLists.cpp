#include "ProgramLists.h"

#include "Preferences.h"
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

void addName(std::vector<std::string>& names, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

void removeFirstName(std::vector<std::string>& names, const std::string& name) {
    const auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end())
        names.erase(found);
}

void applyChoices(const std::vector<RowChoice>& rows, std::vector<std::string>& modules,
                  std::vector<std::string>& programs) {
    std::vector<std::vector<std::string>> rowNames;
    std::unordered_set<std::string> chosen;
    for (const RowChoice& row : rows) {
        rowNames.push_back(splitNames(kelvora_core::toLowerAscii(row.programName)));
        if (row.checked)
            chosen.insert(rowNames.back().begin(), rowNames.back().end());
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        for (const std::string& name : rowNames[i]) {
            if (rows[i].checked) {
                addName(modules, name);
                addName(programs, name);
            } else if (chosen.count(name) == 0) {
                removeFirstName(modules, name);
                removeFirstName(programs, name);
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
