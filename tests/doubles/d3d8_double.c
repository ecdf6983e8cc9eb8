/* d3d8.dll double. Keys:
   d3d8=null                 no interface
   d3d8.adapters=N           adapters (default 1)
   d3d8.modes=M              display modes per adapter (default 2); mode i is
                             (640+i)x(480+i) @ 10*i Hz, format 22+i
   d3d8.device=refuse|null   CreateDevice fails, or succeeds without a device
   d3d8.texmem=N             the test device's available texture memory (default 128 MiB)
   d3d8.description, d3d8.driver
                             adapter texts (default "Double Adapter" and "double.dll");
                             more than 512 bytes fill the whole field, unterminated */
#define COBJMACROS
#include <d3d8.h>
#include <string.h>

#include "scenario.h"

static HINSTANCE self;

static HRESULT WINAPI QueryInterface8(IDirect3D8* This, REFIID riid, void** out) {
    (void)riid;
    *out = This;
    return S_OK;
}
static ULONG WINAPI AddRef8(IDirect3D8* This) { (void)This; return 2; }
static ULONG WINAPI Release8(IDirect3D8* This) { (void)This; return 1; }

static UINT WINAPI GetAdapterCount8(IDirect3D8* This) {
    (void)This;
    return ScenarioNumber(self, "d3d8.adapters", 1);
}

static void CopyText(char* field, size_t room, const char* key, const char* fallback) {
    size_t length = 0;
    const char* text = ScenarioText(self, key, &length);
    if (!text) {
        text = fallback;
        length = strlen(fallback);
    }
    memset(field, 0, room);
    memcpy(field, text, length < room ? length : room);
}

static HRESULT WINAPI GetAdapterIdentifier8(IDirect3D8* This, UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* id) {
    (void)flags;
    if (adapter >= GetAdapterCount8(This)) return D3DERR_INVALIDCALL;
    memset(id, 0, sizeof *id);
    CopyText(id->Description, sizeof id->Description, "d3d8.description", "Double Adapter");
    CopyText(id->Driver, sizeof id->Driver, "d3d8.driver", "double.dll");
    id->DriverVersion.HighPart = 0x00060012;
    id->DriverVersion.LowPart = 0x000A0BB8 + adapter;
    id->VendorId = 0x10DE;
    id->DeviceId = 0xFFFFFFFF;
    id->SubSysId = 0x80000000;
    id->Revision = adapter;
    return D3D_OK;
}

static UINT WINAPI GetAdapterModeCount8(IDirect3D8* This, UINT adapter) {
    (void)This;
    (void)adapter;
    return ScenarioNumber(self, "d3d8.modes", 2);
}

static HRESULT WINAPI EnumAdapterModes8(IDirect3D8* This, UINT adapter, UINT mode, D3DDISPLAYMODE* out) {
    (void)This;
    (void)adapter;
    out->Width = 640 + mode;
    out->Height = 480 + mode;
    out->RefreshRate = 10 * mode;
    out->Format = (D3DFORMAT)(22 + mode);
    return D3D_OK;
}

static HRESULT WINAPI GetDeviceCaps8(IDirect3D8* This, UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    if (adapter >= GetAdapterCount8(This)) return D3DERR_INVALIDCALL;
    memset(caps, 0, sizeof *caps);
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->Caps = 0x20000;
    caps->Caps2 = 0x2;
    caps->Caps3 = 0x20 | 0x10;
    caps->PresentationIntervals = 0x80000001;
    caps->MaxTextureWidth = 2048;
    caps->MaxVertexW = 1e10f;
    caps->VertexShaderVersion = 0xFFFE0101;
    return D3D_OK;
}

/* The test device: only GetAvailableTextureMem is answered. */
static ULONG WINAPI DeviceAddRef(IDirect3DDevice8* This) { (void)This; return 2; }
static ULONG WINAPI DeviceRelease(IDirect3DDevice8* This) { (void)This; return 1; }
static UINT WINAPI DeviceTextureMem(IDirect3DDevice8* This) {
    (void)This;
    return ScenarioNumber(self, "d3d8.texmem", 128u << 20);
}

static IDirect3DDevice8Vtbl deviceVtable;
static IDirect3DDevice8 device = {&deviceVtable};

static HRESULT WINAPI CreateDevice8(IDirect3D8* This, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour,
                                    D3DPRESENT_PARAMETERS* present, IDirect3DDevice8** out) {
    const char* mode = ScenarioText(self, "d3d8.device", NULL);
    void** slot;
    (void)This;
    (void)focus;
    (void)behaviour;
    (void)present;
    *out = NULL;
    if (adapter != 0 || type != D3DDEVTYPE_REF) return D3DERR_INVALIDCALL;
    if (mode && strcmp(mode, "refuse") == 0) return D3DERR_NOTAVAILABLE;
    if (mode && strcmp(mode, "null") == 0) return D3D_OK;
    for (slot = (void**)&deviceVtable; slot < (void**)(&deviceVtable + 1); ++slot) *slot = (void*)UnexpectedCall;
    deviceVtable.AddRef = DeviceAddRef;
    deviceVtable.Release = DeviceRelease;
    deviceVtable.GetAvailableTextureMem = DeviceTextureMem;
    *out = &device;
    return D3D_OK;
}

static IDirect3D8Vtbl vtable;
static IDirect3D8 direct3d = {&vtable};

IDirect3D8* WINAPI Direct3DCreate8(UINT version) {
    void** slot;
    (void)version;
    if (ScenarioIsNull(self, "d3d8")) return NULL;
    for (slot = (void**)&vtable; slot < (void**)(&vtable + 1); ++slot) *slot = (void*)UnexpectedCall;
    vtable.QueryInterface = QueryInterface8;
    vtable.AddRef = AddRef8;
    vtable.Release = Release8;
    vtable.GetAdapterCount = GetAdapterCount8;
    vtable.GetAdapterIdentifier = GetAdapterIdentifier8;
    vtable.GetAdapterModeCount = GetAdapterModeCount8;
    vtable.EnumAdapterModes = EnumAdapterModes8;
    vtable.GetDeviceCaps = GetDeviceCaps8;
    vtable.CreateDevice = CreateDevice8;
    return &direct3d;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
