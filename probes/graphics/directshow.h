// The DirectShow block's device lists, apart from ProbeDirectShow so that they run
// against any ICreateDevEnum.
#pragma once

#include <strmif.h>

#include "report/report.h"

// Adds the friendly name of every device that devices lists for category under
// node. Releases all it obtains; devices stays the caller's.
void ListDirectShowDevices(HWND tree, ReportNode node, ICreateDevEnum* devices, REFCLSID category);
// The friendly names of one category's devices, under node, from a system device
// enumerator of its own.
void ProbeDirectShowCategory(HWND tree, ReportNode node, REFCLSID category);
