/* wininet.dll double. Keys: net.connected=0|1 (default 1), net.flags=N (default 2). */
#include <windows.h>

#include "scenario.h"

BOOL WINAPI InternetGetConnectedState(DWORD* flags, DWORD reserved) {
    (void)reserved;
    if (flags) *flags = ScenarioNumber("net.flags", 2);
    return ScenarioNumber("net.connected", 1) != 0;
}
