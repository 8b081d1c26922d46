#include "TempovaForLutegateApp.h"

#include <windows.h>

#include <cstdlib>

// The one application object.
CTempovaForLutegateApp theApp;

namespace {

// Libraries loaded from here on (the XML, COM and theme libraries) are looked
// for in the system folder only, never in the tool's folder (a download
// folder, say) or the current one. Windows 7 has the call only with its
// update KB2533623: without it the tool still starts.
void loadLibrariesFromTheSystemOnly() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    const auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (set)
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

// What ends the process when an exception finds no handler. The runtime's
// own handler first writes the exception's type to the standard error, which
// a window program does not have, and brings in a name demangler and a
// printf with floating point for it: some 75 KB of the executable for a line
// nobody can read. Ending the same way without it.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    loadLibrariesFromTheSystemOnly();
    return theApp.Run(instance);
}
