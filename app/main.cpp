#include "Utilities.h"

#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string text = std::string("Data folder: ") + kelvora_core::getUserAppPath();
    MessageBoxA(nullptr, text.c_str(), "TempovaForLutegate", MB_OK | MB_ICONINFORMATION);
    return 0;
}
