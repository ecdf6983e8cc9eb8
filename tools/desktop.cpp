// The private session's desktop: "desktop wait" exits 0 once this session can show
// windows, "desktop keep" holds a hidden window (and says "kept" once it does) until it
// is ended. Wine's desktop
// process ends a while after the last window closes and must start again for the next
// program; on a loaded machine that start can time out, so the session keeps it up.
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    const bool keep = strcmp(command, "keep") == 0;
    if (!keep && strcmp(command, "wait") != 0) return 64;
    if (!GetDesktopWindow()) return 1;
    HWND window = CreateWindowExA(0, "STATIC", keep ? "desktop keeper" : "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    if (!window) return 1;
    if (!keep) return DestroyWindow(window) ? 0 : 1;
    puts("kept");
    fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
