#include "TempovaForLutegateApp.h"

#include <windows.h>

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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    loadLibrariesFromTheSystemOnly();
    return theApp.Run(instance);
}
