#include "TempovaForLutegateApp.h"

#include "Utilities.h"

#include <windows.h>

#include <cstdlib>

// The one application object.
CTempovaForLutegateApp theApp;

namespace {

// Libraries loaded from here on (the XML, COM and theme libraries) are looked for in the
// system folder only, never in the tool's folder (a download folder, say) or the current one;
// a system without the call still starts the tool (docs/PLATFORMS.md, loading libraries).
void loadLibrariesFromTheSystemOnly() {
    const auto set = kelvora_core::loadedFunction<BOOL(WINAPI*)(DWORD)>("kernel32.dll",
                                                                        "SetDefaultDllDirectories");
    if (set)
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

} // namespace

// An exception that finds no handler ends the process with std::abort, as the runtime's
// own handler does, without its demangler and printf (docs/PERFORMANCE.md, executable size).
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    loadLibrariesFromTheSystemOnly();
    return theApp.Run(instance);
}
