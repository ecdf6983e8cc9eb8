// The blocks of the "DirectX" section that ProbeDirectX calls besides its own.
// Includes neither d3d8.h nor d3d9.h: the two do not compile together.
#pragma once

#include "report/report.h"

// "DirectX9.0" and the capabilities of every Direct3D 9 adapter; nothing
// without a Direct3D 9 runtime.
void ProbeDirect3D9(HWND tree, ReportNode parent);

// "DirectShow" and its seven device categories.
void ProbeDirectShow(HWND tree, ReportNode parent);
// The friendly names of one category's devices, under node.
void ProbeDirectShowCategory(HWND tree, ReportNode node, REFCLSID category);
