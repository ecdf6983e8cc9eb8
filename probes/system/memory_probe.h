#pragma once

#include <windows.h>
#include <winioctl.h>

#include "report/report.h"

// Fills the geometry of physical drive n; nonzero when it did.
typedef BOOL (*DriveGeometryQuery)(DISK_GEOMETRY* geometry, int drive);
BOOL QueryDriveGeometry(DISK_GEOMETRY* geometry, int drive);

// The "Memory" section: the two totals, then drives from 0 up to the first that fails.
void WriteMemorySection(HWND tree, ReportNode parent, const MEMORYSTATUS& status, DriveGeometryQuery query);
