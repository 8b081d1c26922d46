#pragma once

#include <string>
#include <unordered_set>
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

// The name as Windows compares file names, for comparing only: its letters
// upper-cased by the file system's rule (not a language's), in UTF-8.
// "LGStudio.exe" and "lgstudio.exe" are one name, and "Ä.exe" and "ä.exe" too.
std::string nameKey(const std::string& name);

// The pre-check rule of the rows: true when every name of the program file
// name stands whole in the stored ";"-separated list, compared as Apply
// compares them (without case, as file names). A row without a name is not
// hooked.
bool IsAppHooked(const std::string& hooked, const std::string& programName);

// The same rule for many rows against one stored list.
class HookedNames {
public:
    explicit HookedNames(const std::string& hooked);
    bool hooks(const std::string& programName) const;

private:
    std::unordered_set<std::string> m_keys;
};

// The programs Apply starts from, read as Apply reads them: the stored list,
// the default when none is stored, and none when it cannot be read.
std::string hookedPrograms();

// One row of the course list as Apply reads it.
struct RowChoice {
    std::string programName; // one or more names separated by ";"
    bool checked;
    bool shownChecked; // as the row was filled, or as the last Apply left it
};

// Apply's rule, row by row: a checked row's names (in small letters) are appended where
// missing; those of a row the user unticked (shown checked, now not) leave, every occurrence,
// unless a checked row names them. No other row takes anything away; names no row mentions
// stay put; names compare as file names do (docs/RELIABILITY.md, Apply and the restart).
void applyChoices(const std::vector<RowChoice>& rows, std::vector<std::string>& modules,
                  std::vector<std::string>& programs);

// One of the speed product's name lists as Apply reads and writes it: the
// stored names, or the default's when none are stored. A list that is stored
// but cannot be read is never replaced.
class StoredList {
public:
    StoredList(const char* section, const char* key, const char* defaultText);

    // The platform's error code when the list is stored but could not be
    // read; 0 when it was read or is not stored.
    long readError() const { return m_readError; }
    // 0 when the joined names can be read back; else the platform's code.
    long checkSize() const;
    // Writes the names and reads them back: 0 when the store holds them, else
    // the platform's error code.
    long store() const;
    // Puts the setting back as it was read: the same text, or none at all.
    long restore() const;

    std::vector<std::string> names;

private:
    const char* m_section;
    const char* m_key;
    long m_readError = 0;
    bool m_wasStored = false;
    std::string m_storedText;
};

// The speed product's two lists as Apply reads them.
StoredList storedModules();
StoredList storedPrograms();

// The platform's error code of the first list that is stored but could not
// be read, as Apply checks them; 0 when both could.
long readErrorOfEither(const StoredList& first, const StoredList& second);

// Stores both lists or neither: when the second cannot be stored, the first
// is put back as it was. 0 when both hold their names, else the platform's
// error code of what failed.
long storeBoth(const StoredList& first, const StoredList& second);

} // namespace program_lists
