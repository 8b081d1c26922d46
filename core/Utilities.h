#pragma once

#include "Export.h"

#include <windows.h>
#include <aclapi.h>

#include <string>

namespace kelvora_core {

// Lower-case file name of the running executable; empty if unknown.
KELVORA_API const char* getAppExeName();

// Lower-case per-user data folder (local application data + "\kelvora"),
// created on first use as "Kelvora", without a trailing backslash; "c:\" if
// the folder cannot be found.
KELVORA_API const char* getUserAppPath();

// Process-wide attributes with a null DACL: every account gets every access.
KELVORA_API SECURITY_ATTRIBUTES* getWorldAccessSecurityAttributes();

// Gives the object the low mandatory label so that low-integrity processes
// may open it for writing.
KELVORA_API bool SetObjectToLowIntegrity(HANDLE const object, SE_OBJECT_TYPE type);

// A text of the executable's string table, whole, in the ANSI code page;
// empty when the table has none.
KELVORA_API std::string loadResourceString(unsigned id);

// Only the letters A to Z change.
KELVORA_API std::string toLowerAscii(std::string text);

// True when the kernel object carries the low mandatory label with the
// no-write-up policy.
bool hasLowIntegrityLabel(HANDLE object);

namespace detail {
// The file name after the last backslash, or the whole path.
std::string fileNameOf(const std::string& path);
// The data folder from a folder lookup's result, as it is created ("Kelvora"
// with its capitals); "c:\" when the lookup failed.
std::string userAppFolderFrom(HRESULT lookupResult, const char* localAppData);
} // namespace detail

} // namespace kelvora_core
