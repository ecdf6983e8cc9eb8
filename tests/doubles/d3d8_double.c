/* d3d8.dll double. Keys:
   d3d8=null                 no interface
   d3d8.adapters=N           adapters (default 1)
   d3d8.modes=M              display modes of adapter 0 (default 2); adapter a has M + a,
                             mode i being (640+100a+i)x(480+i) @ 10i+a Hz, format 22+i
   d3d8.device=refuse|null   CreateDevice fails, or succeeds without a device
   d3d8.texmem=N             the test device's available texture memory (default 128 MiB)
   crash=d3d8.CreateDevice   an access violation inside CreateDevice
   d3d8.description, d3d8.driver
                             adapter texts (default "Double Adapter <a>" and "double<a>.dll");
                             more than 512 bytes fill the whole field, unterminated
   Adapter a answers VendorId 0x10DE+a, DeviceId 0xFFFFFFFF-a, SubSysId 0x80000000+a,
   Revision a, driver version low part 0xA0BB8+a, MaxTextureWidth 2048<<a, and
   adapter 0 Caps2 0x2 and intervals 0x80000001, adapter 1 Caps2 0x80000 and
   intervals 0x2. Every call with arguments is recorded, the test device's focus
   window and presentation parameters included. */
#define COBJMACROS
#include <d3d8.h>
#include <stdio.h>
#include <string.h>

#include "scenario.h"

static HRESULT WINAPI QueryInterface8(IDirect3D8* This, REFIID riid, void** out) {
    (void)riid;
    *out = This;
    return S_OK;
}
static ULONG WINAPI AddRef8(IDirect3D8* This) { (void)This; return 2; }
static ULONG WINAPI Release8(IDirect3D8* This) { (void)This; return 1; }

static UINT WINAPI GetAdapterCount8(IDirect3D8* This) {
    (void)This;
    return ScenarioNumber("d3d8.adapters", 1);
}

static void CopyText(char* field, size_t room, const char* key, const char* fallback) {
    size_t length = 0;
    const char* text = ScenarioText(key, &length);
    if (!text) {
        text = fallback;
        length = strlen(fallback);
    }
    memset(field, 0, room);
    memcpy(field, text, length < room ? length : room);
}

static HRESULT WINAPI GetAdapterIdentifier8(IDirect3D8* This, UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* id) {
    char text[32];
    Record("GetAdapterIdentifier %u %lu", adapter, flags);
    if (adapter >= GetAdapterCount8(This)) return D3DERR_INVALIDCALL;
    memset(id, 0, sizeof *id);
    sprintf(text, "Double Adapter %u", adapter);
    CopyText(id->Description, sizeof id->Description, "d3d8.description", text);
    sprintf(text, "double%u.dll", adapter);
    CopyText(id->Driver, sizeof id->Driver, "d3d8.driver", text);
    id->DriverVersion.HighPart = 0x00060012;
    id->DriverVersion.LowPart = 0x000A0BB8 + adapter;
    id->VendorId = 0x10DE + adapter;
    id->DeviceId = 0xFFFFFFFF - adapter;
    id->SubSysId = 0x80000000 + adapter;
    id->Revision = adapter;
    return D3D_OK;
}

static UINT WINAPI GetAdapterModeCount8(IDirect3D8* This, UINT adapter) {
    (void)This;
    Record("GetAdapterModeCount %u", adapter);
    return ScenarioNumber("d3d8.modes", 2) + adapter;
}

static HRESULT WINAPI EnumAdapterModes8(IDirect3D8* This, UINT adapter, UINT mode, D3DDISPLAYMODE* out) {
    (void)This;
    Record("EnumAdapterModes %u %u", adapter, mode);
    out->Width = 640 + 100 * adapter + mode;
    out->Height = 480 + mode;
    out->RefreshRate = 10 * mode + adapter;
    out->Format = (D3DFORMAT)(22 + mode);
    return D3D_OK;
}

static HRESULT WINAPI GetDeviceCaps8(IDirect3D8* This, UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    Record("GetDeviceCaps8 %u %d", adapter, (int)type);
    if (adapter >= GetAdapterCount8(This)) return D3DERR_INVALIDCALL;
    memset(caps, 0, sizeof *caps);
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->Caps = 0x20000;
    caps->Caps2 = adapter ? 0x80000 : 0x2;
    caps->Caps3 = 0x20 | 0x10;
    caps->PresentationIntervals = adapter ? 0x2 : 0x80000001;
    caps->MaxTextureWidth = 2048 << adapter;
    caps->MaxVertexW = 1e10f;
    caps->VertexShaderVersion = 0xFFFE0101;
    return D3D_OK;
}

/* The test device: only GetAvailableTextureMem is answered. */
static ULONG WINAPI DeviceAddRef(IDirect3DDevice8* This) { (void)This; return 2; }
static ULONG WINAPI DeviceRelease(IDirect3DDevice8* This) { (void)This; return 1; }
static UINT WINAPI DeviceTextureMem(IDirect3DDevice8* This) {
    (void)This;
    return ScenarioNumber("d3d8.texmem", 128u << 20);
}

static IDirect3DDevice8Vtbl deviceVtable;
static IDirect3DDevice8 device = {&deviceVtable};

static BOOL CALLBACK CountEngines(HWND window, LPARAM count) {
    char name[16] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && GetClassNameA(window, name, sizeof name) && !strcmp(name, "Engine"))
        ++*(int*)count;
    return TRUE;
}

/* The focus window: its class, whether an earlier device had it, how many probe
   windows exist by now, and whether it shows. */
static void RecordFocus(HWND focus) {
    static HWND earlier[64];
    static int count;
    char name[16] = "";
    int engines = 0, seen = 0, i;
    GetClassNameA(focus, name, sizeof name);
    EnumWindows(CountEngines, (LPARAM)&engines);
    for (i = 0; i < count; ++i) seen |= earlier[i] == focus;
    if (count < 64) earlier[count++] = focus;
    Record("focus class=%s seen=%d engines=%d visible=%d", name, seen, engines, IsWindowVisible(focus));
}

static HRESULT WINAPI CreateDevice8(IDirect3D8* This, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour,
                                    D3DPRESENT_PARAMETERS* p, IDirect3DDevice8** out) {
    const char* mode = ScenarioText("d3d8.device", NULL);
    void** slot;
    (void)This;
    Record("CreateDevice %u %d 0x%lx", adapter, (int)type, behaviour);
    CrashIfChosen("d3d8.CreateDevice");
    RecordFocus(focus);
    Record("present %u %u %d %u %d %d %lu %d %d %d 0x%lx %u %u", p->BackBufferWidth, p->BackBufferHeight,
           (int)p->BackBufferFormat, p->BackBufferCount, (int)p->MultiSampleType, (int)p->SwapEffect,
           (unsigned long)(UINT_PTR)p->hDeviceWindow, p->Windowed, p->EnableAutoDepthStencil,
           (int)p->AutoDepthStencilFormat, p->Flags, p->FullScreen_RefreshRateInHz,
           p->FullScreen_PresentationInterval);
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
    Record("Direct3DCreate8 %u", version);
    if (ScenarioIsNull("d3d8")) return NULL;
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
