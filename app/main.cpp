#include "TempovaForLutegateApp.h"

#include <windows.h>

// The one application object.
CTempovaForLutegateApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return theApp.Run(instance);
}
