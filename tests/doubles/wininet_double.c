/* wininet.dll double. Keys: net.connected=0|1 (default 1), net.flags=N (default 2),
   crash=net.InternetGetConnectedState (an access violation inside the call). */
#include <windows.h>

#include "scenario.h"

BOOL WINAPI InternetGetConnectedState(DWORD* flags, DWORD reserved) {
    (void)reserved;
    CrashIfChosen("net.InternetGetConnectedState");
    if (flags) *flags = ScenarioNumber("net.flags", 2);
    return ScenarioNumber("net.connected", 1) != 0;
}
