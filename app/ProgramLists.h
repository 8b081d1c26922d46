#pragma once

#include <string>
#include <vector>

// The ";"-separated name lists of the speed product's preferences and the
// rules by which Apply changes them.
namespace program_lists {

// Used when "ModulesToIntercept" is not stored.
extern const char* const kModuleDefault;
// Used when "ProgramsToHook" is not stored: the browsers, then the players.
extern const char* const kProgramDefault;

// Names between ";" separators; empty names are skipped ('a;;b;' gives 'a'
// and 'b'). Spaces and letter case are kept.
std::vector<std::string> splitNames(const std::string& text);

// The names with one ";" between neighbours; none at the start or end.
std::string joinNames(const std::vector<std::string>& names);

// Appends the name unless an equal name (exact comparison) is present.
void addName(std::vector<std::string>& names, const std::string& name);

// Removes the first name equal to the given one, if any.
void removeFirstName(std::vector<std::string>& names, const std::string& name);

// One of the speed product's name lists as Apply reads and writes it: the
// stored names, or the default's when none are stored. A list that is stored
// but cannot be read is never replaced.
class StoredList {
public:
    StoredList(const char* section, const char* key, const char* defaultText);

    // False when the list is stored but could not be read.
    bool readable() const { return m_readable; }
    // Writes the names and reads them back: false when the store does not
    // hold them afterwards, or when the list could not be read (and was left).
    bool store() const;

    std::vector<std::string> names;

private:
    const char* m_section;
    const char* m_key;
    bool m_readable = true;
};

} // namespace program_lists
