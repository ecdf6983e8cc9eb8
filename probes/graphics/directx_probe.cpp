#include "probes/probes.h"

void ProbeDirectX(HWND, ReportNode) {}
