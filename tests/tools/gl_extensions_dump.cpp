// Prints what an OpenGL context made like the program's own answers, one fact per
// line: "version=", "renderer=", "vendor=", "device=", "mode=" per display mode and
// "extensions=". Exit code 2 when no context could be made current.
#include <windows.h>

#include <GL/gl.h>
#include <stdio.h>

#include "probes/graphics/probe_window.h"

namespace {

const char* Text(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

int main() {
    PIXELFORMATDESCRIPTOR request = {};
    request.nSize = 40;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 16;

    const char* failed = nullptr;
    HWND window = CreateProbeWindow();
    HDC dc = window ? GetDC(window) : nullptr;
    const int format = dc ? ChoosePixelFormat(dc, &request) : 0;
    HGLRC context = nullptr;
    if (!window) failed = "CreateProbeWindow";
    else if (!dc) failed = "GetDC";
    else if (!format) failed = "ChoosePixelFormat";
    else if (!SetPixelFormat(dc, format, &request)) failed = "SetPixelFormat";
    else if (!(context = wglCreateContext(dc))) failed = "wglCreateContext";
    else if (!wglMakeCurrent(dc, context)) failed = "wglMakeCurrent";
    if (failed) {
        printf("no context: %s failed (error %lu)\n", failed, GetLastError());
        return 2;
    }
    printf("version=%s\nrenderer=%s\nvendor=%s\n", Text(GL_VERSION), Text(GL_RENDERER), Text(GL_VENDOR));

    DISPLAY_DEVICEA device = {};
    device.cb = 168;
    EnumDisplayDevicesA(nullptr, 0, &device, 0);
    printf("device=%s\n", device.DeviceString);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    for (DWORD n = 0; EnumDisplaySettingsA(device.DeviceName, n, &mode); ++n) {
        printf("mode=%dx%d @ %d Hz %d bpp\n", static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
               static_cast<int>(mode.dmDisplayFrequency), static_cast<int>(mode.dmBitsPerPel));
    }
    printf("extensions=%s\n", Text(GL_EXTENSIONS));
    return 0;
}
