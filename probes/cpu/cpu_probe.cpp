#include "probes/probes.h"

void ProbeCpu(HWND, ReportNode) {}
