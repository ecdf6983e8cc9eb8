#include "probes/probes.h"

void ProbeWindows(HWND, ReportNode) {}
