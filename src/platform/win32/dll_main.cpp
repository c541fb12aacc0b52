// The DLL's entry point: on process detach, free every object the host left.
#include <windows.h>

#include "objects/registry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) xemidi::destroyAllObjects();
    return TRUE;
}
