// The Direct3D 8 block: each adapter's identity, display modes, device caps and the
// texture memory of a reference test device.
// Its texts are frozen: stored reports and the tools that read them depend on every byte.
#include <d3d8.h>

#include "probes/graphics/d3d_nodes.h"
#include "probes/graphics/directx.h"
#include "probes/graphics/probe_window.h"

namespace {

// The SDK version the program was made for; the runtime checks it.
const UINT kD3D8SdkVersion = 220;

D3D8IdentityRecord CopyIdentity(const D3DADAPTER_IDENTIFIER8& id) {
    D3D8IdentityRecord record = {};
    record.DriverVersion = static_cast<uint64_t>(id.DriverVersion.QuadPart);
    record.VendorId = id.VendorId;
    record.DeviceId = id.DeviceId;
    record.SubSysId = id.SubSysId;
    record.Revision = id.Revision;
    return record;
}

D3D8CapsRecord CopyD3D8Caps(const D3DCAPS8& caps) {
    D3D8CapsRecord record = {};
    record.DeviceType = caps.DeviceType;
    record.Caps = caps.Caps;
    record.Caps2 = caps.Caps2;
    record.Caps3 = caps.Caps3;
    record.PresentationIntervals = caps.PresentationIntervals;
    record.numbers = CopyCapsNumbers(caps);
    record.MaxPixelShaderValue = caps.MaxPixelShaderValue;
    return record;
}

// The test device always goes on the default adapter with the reference
// rasteriser; it and its window live until the process ends.
void AddTextureMemory(IDirect3D8* d3d, HWND tree, ReportNode capsNode) {
    HWND window = CreateProbeWindow();
    D3DPRESENT_PARAMETERS present;
    ZeroMemory(&present, sizeof present);
    present.BackBufferWidth = 320;
    present.BackBufferHeight = 200;
    present.BackBufferFormat = D3DFMT_X8R8G8B8;
    present.BackBufferCount = 0;
    present.MultiSampleType = D3DMULTISAMPLE_NONE;
    present.SwapEffect = D3DSWAPEFFECT_COPY_VSYNC;
    present.hDeviceWindow = nullptr;
    present.Windowed = TRUE;
    present.EnableAutoDepthStencil = FALSE;
    IDirect3DDevice8* device = nullptr;
    if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_REF, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &present,
                                 &device)) ||
        !device)
        return;
    NodeLines target = {tree, capsNode};
    WriteTextureMemoryLine(device->GetAvailableTextureMem(), LinesUnder(&target));
}

void ProbeAdapter(IDirect3D8* d3d, UINT adapter, HWND tree, ReportNode block) {
    D3DADAPTER_IDENTIFIER8 id;
    ZeroMemory(&id, sizeof id);
    d3d->GetAdapterIdentifier(adapter, 0, &id);
    id.Description[sizeof id.Description - 1] = '\0';
    id.Driver[sizeof id.Driver - 1] = '\0';
    const ReportNode adapterNode = AddAdapterNodes(tree, block, id.Description, id.Driver, CopyIdentity(id));

    const UINT modes = d3d->GetAdapterModeCount(adapter);
    NodeLines modeList = {tree, AddNode(tree, adapterNode, "Display Modes")};
    for (UINT index = 0; index < modes; ++index) {
        D3DDISPLAYMODE mode;
        ZeroMemory(&mode, sizeof mode);
        d3d->EnumAdapterModes(adapter, index, &mode);
        const D3DModeRecord record = {mode.Width, mode.Height, mode.RefreshRate, static_cast<uint32_t>(mode.Format)};
        WriteD3D8ModeLine(record, LinesUnder(&modeList));
    }

    D3DCAPS8 caps;
    ZeroMemory(&caps, sizeof caps);
    d3d->GetDeviceCaps(adapter, D3DDEVTYPE_HAL, &caps);
    const D3D8CapsRecord record = CopyD3D8Caps(caps);
    NodeLines capsNode = {tree, AddNode(tree, adapterNode, "D3DDEVTYPE_HAL caps")};
    WriteD3D8FlagLines(record, LinesUnder(&capsNode));
    NodeLines flip = {tree, AddNode(tree, capsNode.parent, "Video Flip Synchronization")};
    WriteD3D8IntervalLines(record, LinesUnder(&flip));
    WriteD3D8NumericLines(record, LinesUnder(&capsNode));
    AddTextureMemory(d3d, tree, capsNode.parent);
}

}  // namespace

// The interface lives until the process ends, like the Direct3D 9 one.
bool ProbeDirect3D8(HWND tree, ReportNode parent) {
    IDirect3D8* d3d = Direct3DCreate8(kD3D8SdkVersion);
    if (!d3d) return false;
    const ReportNode block = AddNode(tree, parent, "DirectX8.1");
    const UINT adapters = d3d->GetAdapterCount();
    for (UINT adapter = 0; adapter < adapters; ++adapter) ProbeAdapter(d3d, adapter, tree, block);
    return true;
}
