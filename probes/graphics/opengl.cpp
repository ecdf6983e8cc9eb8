// The OpenGL section: a context on a probe window, its version, renderer and vendor
// strings, the display modes, and the extension checklist under "Caps".
// Its texts are frozen: stored reports and the tools that read them depend on every byte.
#include <GL/gl.h>

#include "probes/graphics/gl_extension_lines.h"
#include "probes/graphics/probe_window.h"
#include "probes/probes.h"

namespace {

// DISPLAY_DEVICEA in its four-field form; cb = 168 tells the platform so.
struct DisplayDeviceRecord {
    DWORD cb;
    CHAR DeviceName[32];
    CHAR DeviceString[128];
    DWORD StateFlags;
};
static_assert(sizeof(DisplayDeviceRecord) == 168, "four-field DISPLAY_DEVICEA");

typedef BOOL(WINAPI* EnumDisplayDevicesProc)(LPCSTR device, DWORD index, DisplayDeviceRecord* record, DWORD flags);

// The request's size and version as the platform must be told them.
const WORD kPixelFormatRequestSize = 40;
const WORD kPixelFormatVersion = 1;
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == kPixelFormatRequestSize, "PIXELFORMATDESCRIPTOR size");

// Double-buffered RGBA window format of 16 colour bits, nothing else.
const PIXELFORMATDESCRIPTOR pixelFormatRequest = {
    kPixelFormatRequestSize, kPixelFormatVersion, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, PFD_TYPE_RGBA, 16,
    0, 0, 0, 0, 0, 0,  // colour bits and shifts
    0, 0,              // alpha
    0, 0, 0, 0, 0,     // accumulation
    0, 0, 0,           // depth, stencil, auxiliary buffers
    PFD_MAIN_PLANE, 0, 0, 0, 0};

// glGetString may answer null; that shows as an empty text.
const char* GLText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

void ProbeOpenGL(HWND tree, ReportNode section) {
    // A null window would give GetDC the whole screen's context.
    HWND window = CreateProbeWindow();
    if (!window) return;
    HDC dc = GetDC(window);
    if (!dc) return;

    const int format = ChoosePixelFormat(dc, &pixelFormatRequest);
    if (format == 0) return;
    if (!SetPixelFormat(dc, format, &pixelFormatRequest)) return;
    HGLRC context = wglCreateContext(dc);
    if (!context) return;
    if (!wglMakeCurrent(dc, context)) return;

    AddNodeFormatted(tree, section, "Version: %s", GLText(GL_VERSION));
    ReportNode renderer = AddNode(tree, section, GLText(GL_RENDERER));
    AddNodeFormatted(tree, renderer, "Vendor: %s", GLText(GL_VENDOR));

    DisplayDeviceRecord device = {};
    device.cb = sizeof device;
    HMODULE user32 = LoadLibraryA("User32.DLL");
    if (!user32) return;
    EnumDisplayDevicesProc enumDisplayDevices = reinterpret_cast<EnumDisplayDevicesProc>(
        reinterpret_cast<void*>(GetProcAddress(user32, "EnumDisplayDevicesA")));
    if (enumDisplayDevices) enumDisplayDevices(nullptr, 0, &device, 0);
    // The texts are used as C strings below whatever the query left in them.
    device.DeviceName[sizeof device.DeviceName - 1] = '\0';
    device.DeviceString[sizeof device.DeviceString - 1] = '\0';
    char deviceName[32];
    lstrcpynA(deviceName, device.DeviceName, sizeof deviceName);

    ReportNode modes = AddNodeFormatted(tree, renderer, "Display modes (%s)", device.DeviceString);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    mode.dmDriverExtra = 0;
    for (DWORD number = 0; EnumDisplaySettingsA(deviceName, number, &mode); ++number) {
        AddNodeFormatted(tree, modes, "%dx%d @ %d Hz %d bpp", mode.dmPelsWidth, mode.dmPelsHeight,
                         mode.dmDisplayFrequency, mode.dmBitsPerPel);
    }

    ReportNode caps = AddNode(tree, renderer, "Caps");
    ProbeGLExtensions(tree, caps);
}
