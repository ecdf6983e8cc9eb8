#pragma once

#include <windows.h>

#include "report/report.h"

// ntdll's RtlGetVersion: the true version, where GetVersionExA answers 6.2 build
// 9200 to a program without a manifest on Windows 8.1 and later.
typedef LONG(WINAPI* RealVersionQuery)(OSVERSIONINFOW* version);

// The platform queries of the "Windows" section, in the order they run.
struct WindowsAnswers {
    BOOL(WINAPI* getVersion)(OSVERSIONINFOA* version);
    RealVersionQuery (*findRealVersion)();  // null where ntdll lacks it (Windows 9x)
    int(WINAPI* getSystemMetrics)(int index);
    UINT(WINAPI* getSystemDirectory)(LPSTR buffer, UINT size);
    UINT(WINAPI* getWindowsDirectory)(LPSTR buffer, UINT size);
    BOOL(WINAPI* getComputerName)(LPSTR buffer, LPDWORD size);
    BOOL(WINAPI* getUserName)(LPSTR buffer, LPDWORD size);
    BOOL(WINAPI* getConnectedState)(LPDWORD flags, DWORD reserved);
};

extern const WindowsAnswers kThisWindows;

void WriteWindowsSection(HWND tree, ReportNode parent, const WindowsAnswers& answers);
