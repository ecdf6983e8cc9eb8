// The "DirectX" section: its three blocks, in this order.
#include "probes/graphics/directx.h"
#include "probes/probes.h"

void ProbeDirectX(HWND tree, ReportNode parent) {
    ProbeDirect3D9(tree, parent);
    // Without a Direct3D 8 runtime the section ends here, DirectShow included.
    if (!ProbeDirect3D8(tree, parent)) return;
    ProbeDirectShow(tree, parent);
}
