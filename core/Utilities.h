#pragma once

#include "Export.h"

#include <windows.h>
#include <aclapi.h>

#include <cstdint>
#include <string>

namespace kelvora_core {

// Lower-case file name of the running executable; empty if unknown.
KELVORA_API const char* getAppExeName();

// Lower-case per-user data folder (local application data + "\kelvora", created on first use
// as "Kelvora"), without a trailing backslash; its short (8.3) form where the process code
// page cannot spell the path. Empty when the lookup failed or neither form can be spelt:
// callers then have no per-user file at all, rather than one in another folder.
KELVORA_API const char* getUserAppPath();

// Process-wide attributes with a null DACL: every account gets every access,
// including the right to change the object's access and owner. Kept with
// that meaning for the family's programs that call it; the library's own
// shared objects use getSharedObjectSecurityAttributes.
KELVORA_API SECURITY_ATTRIBUTES* getWorldAccessSecurityAttributes();

// The kinds of named object the family's processes share.
enum class SharedObject { Mapping, Mutex, Event };

// Process-wide attributes for a named object shared by the family's processes of the session,
// low-integrity ones too: the maker's user has every right, every other account may only map
// it to read and write or wait for, release or set it, and no one else may change its access
// or owner; it carries the low label. Null if unbuildable: the creator's default security then.
SECURITY_ATTRIBUTES* getSharedObjectSecurityAttributes(SharedObject kind);

// Gives the object the low mandatory label so that low-integrity processes
// may open it for writing.
KELVORA_API bool SetObjectToLowIntegrity(HANDLE const object, SE_OBJECT_TYPE type);

// A text of the executable's string table in the user's language (English
// where its translation has none, or where the ANSI code page cannot spell
// the user's language: textLanguage), whole, in the ANSI code page; empty
// when no table has it.
KELVORA_API std::string loadResourceString(unsigned id);

// A function of a library already loaded in the process (ntdll, user32, the
// theme library), looked up at run time: null where the system lacks it.
template <class Function> Function loadedFunction(const char* module, const char* name) {
    const HMODULE loaded = GetModuleHandleA(module);
    return loaded
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)))
               : nullptr;
}

// A numbered message: the string table's text `id` with the id for its %d
// and the value for its 0x%x ("... error code: 268 (0x194)").
std::string formatMessage(unsigned id, uint32_t value);

// The language in which the executable's texts and dialogs are read, as a resource
// language: neutral (0), which has Windows choose the user's, or English where the ANSI code
// page cannot spell every text of the user's (docs/PLATFORMS.md, the process code page).
LANGID textLanguage();

// Only the letters A to Z change, and only where they are whole characters
// of the process code page: the second byte of a double-byte character stays.
KELVORA_API std::string toLowerAscii(std::string text);
// The same in the given code page.
std::string toLowerAscii(std::string text, UINT codePage);

// True when the kernel object carries the low mandatory label with the
// no-write-up policy.
bool hasLowIntegrityLabel(HANDLE object);

// True under Wine. The one place where the platforms are told apart: every
// fork asks here, and a build with KELVORA_WINDOWS_ROAD (the WINDOWS_ROAD
// option) answers as Windows does, so that its tests walk Windows' side of
// each fork under Wine.
bool runningUnderWine();

namespace detail {
// The file name after the last backslash, or the whole path.
std::string fileNameOf(const std::string& path);
// The data folder from a folder lookup's result, as it is created ("Kelvora"
// with its capitals); empty when the lookup failed.
std::wstring userAppFolderFrom(HRESULT lookupResult, const wchar_t* localAppData);
// The path as the code page spells it: exactly, or else by its short (8.3)
// form when that exists and the code page spells it; empty otherwise.
std::string narrowPathOf(const std::wstring& path, UINT codePage);
} // namespace detail

} // namespace kelvora_core
