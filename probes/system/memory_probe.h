#pragma once

#include <windows.h>
#include <winioctl.h>

#include "report/report.h"

// The platform calls of the "Memory" section.
struct MemoryAnswers {
    void(WINAPI* globalMemoryStatus)(LPMEMORYSTATUS status);
    HANDLE(WINAPI* createFile)(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile);
    BOOL(WINAPI* deviceIoControl)(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                  LPDWORD returned, LPOVERLAPPED overlapped);
    BOOL(WINAPI* closeHandle)(HANDLE handle);
};

extern const MemoryAnswers kThisMemory;

// Fills the geometry of physical drive n; nonzero when it did.
BOOL QueryDriveGeometry(DISK_GEOMETRY* geometry, int drive, const MemoryAnswers& answers = kThisMemory);

// The "Memory" section: the two totals, then drives from 0 up to the first that fails.
void WriteMemorySection(HWND tree, ReportNode parent, const MemoryAnswers& answers);
