#pragma once

#include <windows.h>

#include "report/report.h"

// The platform queries of the "Windows" section, in the order they run.
struct WindowsAnswers {
    BOOL(WINAPI* getVersion)(OSVERSIONINFOA* version);
    int(WINAPI* getSystemMetrics)(int index);
    UINT(WINAPI* getSystemDirectory)(LPSTR buffer, UINT size);
    UINT(WINAPI* getWindowsDirectory)(LPSTR buffer, UINT size);
    BOOL(WINAPI* getComputerName)(LPSTR buffer, LPDWORD size);
    BOOL(WINAPI* getUserName)(LPSTR buffer, LPDWORD size);
    BOOL(WINAPI* getConnectedState)(LPDWORD flags, DWORD reserved);
};

extern const WindowsAnswers kThisWindows;

void WriteWindowsSection(HWND tree, ReportNode parent, const WindowsAnswers& answers);
