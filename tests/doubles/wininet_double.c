/* wininet.dll double. Keys: net.connected=0|1 (default 1), net.flags=N (default 2). */
#include <windows.h>

#include "scenario.h"

static HINSTANCE self;

BOOL WINAPI InternetGetConnectedState(DWORD* flags, DWORD reserved) {
    (void)reserved;
    if (flags) *flags = ScenarioNumber(self, "net.flags", 2);
    return ScenarioNumber(self, "net.connected", 1) != 0;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
