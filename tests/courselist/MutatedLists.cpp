#include "MutatedLists.h"

#include "TestDocuments.h"

#include <random>
#include <vector>

namespace test_documents {

std::string utf16(const std::string& text, bool bigEndian) {
    std::string bytes;
    for (const char c : text)
        bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return bytes;
}

namespace {

using Random = std::mt19937;

size_t below(Random& random, size_t count) {
    return count == 0 ? 0 : random() % count;
}

template <class T, size_t N> const T& oneOf(Random& random, const T (&items)[N]) {
    return items[below(random, N)];
}

const Entry kEntries[] = {{"Alpha", "alpha.exe"},
                          {"Beta Studio", "beta.exe;b2.exe"},
                          {"Caf\xC3\xA9", "caf\xC3\xA9.exe"},
                          {"\xC5\x81\xC3\xB3\x64\xC5\xBA", "lodz.exe"},
                          {"\xE6\x97\xA5\xE6\x9C\xAC", "nihon.exe"},
                          {"", "e.exe"}};
const char* const kHostileNames[] = {"*",
                                     "*.exe",
                                     "a?.exe",
                                     "..\\x.exe",
                                     "C:\\x.exe",
                                     "a/b.exe",
                                     "a|b.exe",
                                     "a&#9;b.exe",
                                     "a&#1;.exe",
                                     "&#x202E;exe.txt",
                                     "a.exe;",
                                     ";",
                                     "a.exe;;b.exe",
                                     "a.exe:s",
                                     "a&quot;.exe",
                                     "\xC5\x81\xC3\xB3\x64\xC5\xBA.exe",
                                     "\xE6\x97\xA5.exe",
                                     "&lt;a&gt;.exe",
                                     "a\x01.exe",
                                     "nul"};
const char* const kInvalidUtf8[] = {"\xC0\xAF", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "\x80",
                                    "\xFF\xFE", "\xE2\x82",     "\xF4\x90\x80\x80"};
const char* const kEncodings[] = {"ISO-8859-1", "UTF-16",    "UTF-7", "UCS-4",
                                  "Shift_JIS",  "EBCDIC-US", "bogus"};
const char* const kDocumentTypes[] = {
    "<!DOCTYPE applications [<!ENTITY inj \"Injected\">]>",
    "<!DOCTYPE applications [<!ENTITY inj SYSTEM \"file:///C:/windows/win.ini\">]>",
    "<!DOCTYPE applications [<!ENTITY % p SYSTEM \"http://127.0.0.1:9/p\"> %p;]>",
    "<!DOCTYPE applications SYSTEM \"http://127.0.0.1:9/x.dtd\">",
    "<!DOCTYPE a [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"};

std::string baseList(Random& random) {
    if (below(random, 4) == 0)
        return manyEntries(1 + below(random, 200));
    std::vector<Entry> entries(1 + below(random, 8));
    for (Entry& entry : entries)
        entry = oneOf(random, kEntries);
    return courseList(entries);
}

// The position just inside the value of a random exe attribute (npos: none).
size_t programValue(Random& random, const std::string& bytes) {
    std::vector<size_t> values;
    for (size_t at = bytes.find("exe=\""); at != std::string::npos;
         at = bytes.find("exe=\"", at + 1))
        values.push_back(at + 5);
    return values.empty() ? std::string::npos : values[below(random, values.size())];
}

std::string reencode(Random& random, std::string& bytes) {
    const size_t kind = below(random, 5);
    if (kind == 0)
        bytes = "\xFF\xFE" + utf16(bytes);
    else if (kind == 1)
        bytes = "\xFE\xFF" + utf16(bytes, true);
    else if (kind == 2)
        bytes = utf16(bytes);
    else if (kind == 3)
        bytes = "\xEF\xBB\xBF" + bytes;
    else
        bytes = "<?xml version=\"1.0\" encoding=\"" + std::string(oneOf(random, kEncodings)) +
                "\"?>" + bytes.substr(bytes.compare(0, 5, "<?xml") == 0 ? bytes.find("?>") + 2 : 0);
    return "encoding" + std::to_string(kind);
}

// Nests the first entry (or a random place) in depth elements.
std::string nest(Random& random, std::string& bytes) {
    const size_t depth = 1 + below(random, 20000);
    size_t open = bytes.find("<app ");
    size_t close = bytes.find("</app>", open);
    if (open == std::string::npos || close == std::string::npos)
        open = close = below(random, bytes.size() + 1);
    else
        close += 6;
    std::string opening, closing;
    for (size_t i = 0; i < depth; ++i) {
        opening += "<x>";
        closing += "</x>";
    }
    bytes.insert(close, closing);
    bytes.insert(open, opening);
    return "nest";
}

// One mutation; its name.
std::string mutate(Random& random, std::string& bytes) {
    const size_t at = below(random, bytes.size() + 1);
    const size_t value = programValue(random, bytes);
    switch (below(random, 11)) {
    case 0:
        bytes.resize(at);
        return "cut";
    case 1:
        for (size_t n = 1 + below(random, 8); n > 0 && !bytes.empty(); --n)
            bytes[below(random, bytes.size())] ^= static_cast<char>(1 + below(random, 255));
        return "flip";
    case 2: {
        const size_t count = 1 + below(random, 4);
        bytes.insert(at, std::string(count, static_cast<char>(below(random, 32))));
        return "control";
    }
    case 3:
        bytes.insert(at, oneOf(random, kInvalidUtf8));
        return "utf8";
    case 4:
        return reencode(random, bytes);
    case 5:
        return nest(random, bytes);
    case 6: { // up to 4 MiB, in a name, a text or anywhere
        const size_t where = value != std::string::npos && below(random, 2) ? value : at;
        const size_t length = size_t(1) << below(random, 23);
        bytes.insert(where, std::string(length, below(random, 2) ? 'n' : ' '));
        return "long";
    }
    case 7: {
        const std::string piece = bytes.substr(at, 1 + below(random, 200));
        std::string run;
        for (size_t n = 1 + below(random, 2000); n > 0; --n)
            run += piece;
        bytes.insert(at, run);
        return "repeat";
    }
    case 8:
        if (value != std::string::npos)
            bytes.insert(value - 5, "exe=\"" + std::string(oneOf(random, kHostileNames)) + "\" ");
        return "duplicate";
    case 9:
        if (value != std::string::npos)
            bytes.insert(value, oneOf(random, kHostileNames));
        return "name";
    default:
        bytes.insert(bytes.compare(0, 5, "<?xml") == 0 ? bytes.find("?>") + 2 : 0,
                     oneOf(random, kDocumentTypes));
        return "doctype";
    }
}

} // namespace

MutatedList mutatedCourseList(uint32_t seed) {
    Random random(seed);
    MutatedList list{baseList(random), ""};
    for (size_t n = 1 + below(random, 3); n > 0; --n)
        list.kinds += (list.kinds.empty() ? "" : "+") + mutate(random, list.bytes);
    return list;
}

} // namespace test_documents
