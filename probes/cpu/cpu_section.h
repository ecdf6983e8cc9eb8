#pragma once

#include "probes/cpu/cpu.h"
#include "report/report.h"

// The "CPU" section's lines for the given processor, in their order.
void WriteCpuSection(HWND tree, ReportNode parent, const CpuMachine& machine);
