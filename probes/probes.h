// The five section probes, called in this order by PopulateReport. Each fills
// its own section under the node it is given and reports no failure.
#pragma once

#include "report/report.h"

void ProbeCpu(HWND tree, ReportNode parent);
void ProbeDirectX(HWND tree, ReportNode parent);
void ProbeOpenGL(HWND tree, ReportNode parent);
void ProbeMemory(HWND tree, ReportNode parent);
void ProbeWindows(HWND tree, ReportNode parent);
