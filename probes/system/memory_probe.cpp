#include "probes/probes.h"

void ProbeMemory(HWND, ReportNode) {}
