/* d3d9.dll double. Keys: d3d9=null (no interface), d3d9.adapters=N (default 1).
   Every adapter's caps are zero apart from MaxTextureWidth = 1024 * (adapter + 1)
   and MaxVShaderInstructionsExecuted = 0xFFFFFFFF. Records the SDK version and
   each caps query's adapter and device type. */
#define COBJMACROS
#include <d3d9.h>
#include <string.h>

#include "scenario.h"

static HRESULT WINAPI QueryInterface9(IDirect3D9* This, REFIID riid, void** out) {
    (void)riid;
    *out = This;
    return S_OK;
}
static ULONG WINAPI AddRef9(IDirect3D9* This) { (void)This; return 2; }
static ULONG WINAPI Release9(IDirect3D9* This) { (void)This; return 1; }

static UINT WINAPI GetAdapterCount9(IDirect3D9* This) {
    (void)This;
    return ScenarioNumber("d3d9.adapters", 1);
}

static HRESULT WINAPI GetDeviceCaps9(IDirect3D9* This, UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    Record("GetDeviceCaps9 %u %d", adapter, (int)type);
    if (adapter >= GetAdapterCount9(This) || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    memset(caps, 0, sizeof *caps);
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->MaxTextureWidth = 1024 * (adapter + 1);
    caps->MaxVShaderInstructionsExecuted = 0xFFFFFFFF;
    return D3D_OK;
}

static IDirect3D9Vtbl vtable;
static IDirect3D9 direct3d = {&vtable};

IDirect3D9* WINAPI Direct3DCreate9(UINT version) {
    void** slot;
    Record("Direct3DCreate9 %u", version);
    if (ScenarioIsNull("d3d9")) return NULL;
    for (slot = (void**)&vtable; slot < (void**)(&vtable + 1); ++slot) *slot = (void*)UnexpectedCall;
    vtable.QueryInterface = QueryInterface9;
    vtable.AddRef = AddRef9;
    vtable.Release = Release9;
    vtable.GetAdapterCount = GetAdapterCount9;
    vtable.GetDeviceCaps = GetDeviceCaps9;
    return &direct3d;
}
