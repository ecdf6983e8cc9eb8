// The device loop of one DirectShow category, apart from the creation of the
// system device enumerator so that it runs against any ICreateDevEnum.
#pragma once

#include <strmif.h>

#include "report/report.h"

// Adds the friendly name of every device that devices lists for category under
// node. Releases all it obtains; devices stays the caller's.
void ListDirectShowDevices(HWND tree, ReportNode node, ICreateDevEnum* devices, REFCLSID category);
