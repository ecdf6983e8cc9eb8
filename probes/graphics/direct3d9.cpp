// The Direct3D 9 block: the caps of each adapter's hardware device type.
// Its texts are frozen: stored reports and the tools that read them depend on every byte.
#include <d3d9.h>

#include "probes/graphics/d3d_nodes.h"
#include "probes/graphics/directx.h"

namespace {

// The SDK version the program was made for (not the header's D3D_SDK_VERSION).
const UINT kD3D9SdkVersion = 31;

D3D9CapsRecord CopyD3D9Caps(const D3DCAPS9& caps) {
    D3D9CapsRecord record = {};
    record.numbers = CopyCapsNumbers(caps);
    record.PixelShader1xMaxValue = caps.PixelShader1xMaxValue;
    record.MaxVShaderInstructionsExecuted = caps.MaxVShaderInstructionsExecuted;
    record.MaxPShaderInstructionsExecuted = caps.MaxPShaderInstructionsExecuted;
    record.MaxVertexShader30InstructionSlots = caps.MaxVertexShader30InstructionSlots;
    record.MaxPixelShader30InstructionSlots = caps.MaxPixelShader30InstructionSlots;
    return record;
}

}  // namespace

// The interface lives until the process ends, like the Direct3D 8 one.
void ProbeDirect3D9(HWND tree, ReportNode parent) {
    IDirect3D9* d3d = Direct3DCreate9(kD3D9SdkVersion);
    if (!d3d) return;
    const ReportNode block = AddNode(tree, parent, "DirectX9.0");
    const UINT adapters = d3d->GetAdapterCount();
    for (UINT adapter = 0; adapter < adapters; ++adapter) {
        D3DCAPS9 caps;
        ZeroMemory(&caps, sizeof caps);
        d3d->GetDeviceCaps(adapter, D3DDEVTYPE_HAL, &caps);
        NodeLines capsNode = {tree, AddNode(tree, block, "D3DDEVTYPE_HAL caps")};
        WriteD3D9CapsLines(CopyD3D9Caps(caps), LinesUnder(&capsNode));
    }
}
