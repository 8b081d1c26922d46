#include "ProgramLists.h"

#include "Preferences.h"

#include <algorithm>

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

StoredList::StoredList(const char* section, const char* key, const char* defaultText)
    : m_section(section), m_key(key) {
    using kelvora_core::Preferences;
    std::string text;
    switch (Preferences::readString(section, key, text)) {
    case Preferences::Stored::Read:
        names = splitNames(text);
        break;
    case Preferences::Stored::Absent:
        names = splitNames(defaultText);
        break;
    case Preferences::Stored::Unreadable:
        m_readable = false;
        break;
    }
}

bool StoredList::store() const {
    using kelvora_core::Preferences;
    if (!m_readable)
        return false;
    const std::string text = joinNames(names);
    Preferences::setString(m_section, m_key, text);
    std::string stored;
    return Preferences::readString(m_section, m_key, stored) == Preferences::Stored::Read &&
           stored == text;
}

} // namespace program_lists
