// The three blocks of the "DirectX" section, in the order ProbeDirectX runs them.
// Includes neither d3d8.h nor d3d9.h: the two do not compile together.
#pragma once

#include "report/report.h"

// "DirectX9.0" and the capabilities of every Direct3D 9 adapter; nothing
// without a Direct3D 9 runtime.
void ProbeDirect3D9(HWND tree, ReportNode parent);

// "DirectX8.1" and every Direct3D 8 adapter; false, with nothing written, when
// no Direct3D 8 runtime answers.
bool ProbeDirect3D8(HWND tree, ReportNode parent);

// "DirectShow" and its seven device categories.
void ProbeDirectShow(HWND tree, ReportNode parent);
