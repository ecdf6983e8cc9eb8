// The hidden 4 by 4 "Engine" windows that the Direct3D 8 and OpenGL probes draw on.
#include "probes/graphics/probe_window.h"

namespace {

WNDCLASSEXA probeClass = {sizeof(WNDCLASSEXA), CS_OWNDC, ProbeWindowProc, 0, 0, nullptr, nullptr,
                          nullptr, nullptr, nullptr, "Engine", nullptr};
bool probeClassFilled = false;

}  // namespace

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateProbeWindow() {
    if (!probeClassFilled) {
        probeClassFilled = true;
        probeClass.hInstance = GetModuleHandleA(nullptr);
    }
    // Fails harmlessly once the class exists.
    RegisterClassExA(&probeClass);
    return CreateWindowExA(0, "Engine", "Engine", WS_OVERLAPPEDWINDOW, 0, 0, 4, 4, GetDesktopWindow(), nullptr,
                           probeClass.hInstance, nullptr);
}
