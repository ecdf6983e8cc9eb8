// Hidden 4 x 4 windows of the class "Engine", for the graphics probes that need one.
#pragma once

#include <windows.h>

// Registers "Engine" (once filled, on every call) and returns a new hidden window,
// or null when it cannot be created. The window lives until the process ends.
HWND CreateProbeWindow();

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
