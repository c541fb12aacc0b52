// The DLL's entry point: when the host unloads the library (FreeLibrary),
// free every object it left. When the process ends (the reserved argument
// is then set) nothing is freed: the process's memory goes with it, and the
// other threads, stopped wherever they were, may hold the heap's lock.
#include <windows.h>

#include "objects/registry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) xemidi::tearDownRegistry();
    return TRUE;
}
