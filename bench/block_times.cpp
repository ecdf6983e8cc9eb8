// Times the report from outside the program for bench/report_time.sh, in a fresh
// process each time, into a hidden tree view (no report file):
//   block_times sections  the five sections in the program's order
//   block_times parts     the section's three blocks, each timed, in its order
//   block_times opengl    the "OpenGL" section alone, with nothing started before
// Prints "name milliseconds" lines.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <stdio.h>
#include <string.h>

#include "probes/graphics/directx.h"
#include "probes/probes.h"

namespace {

LARGE_INTEGER frequency;

double Now() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart * 1000.0 / frequency.QuadPart;
}

void Direct3D8(HWND tree, ReportNode parent) { ProbeDirect3D8(tree, parent); }

void Time(const char* name, void (*block)(HWND, ReportNode), HWND tree) {
    const ReportNode node = AddNode(tree, nullptr, name);
    const double start = Now();
    block(tree, node);
    printf("%s %.3f\n", name, Now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    QueryPerformanceFrequency(&frequency);
    InitCommonControls();
    CoInitialize(nullptr);
    HWND host = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, nullptr,
                                nullptr, nullptr);
    HWND tree = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | TVS_HASLINES, 0, 0, 300, 300, host, nullptr,
                                nullptr, nullptr);
    if (!tree) return 1;
    if (strcmp(mode, "sections") == 0) {
        Time("CPU", ProbeCpu, tree);
        Time("DirectX", ProbeDirectX, tree);
        Time("OpenGL", ProbeOpenGL, tree);
        Time("Memory", ProbeMemory, tree);
        Time("Windows", ProbeWindows, tree);
    } else if (strcmp(mode, "parts") == 0) {
        Time("Direct3D9", ProbeDirect3D9, tree);
        Time("Direct3D8", Direct3D8, tree);
        Time("DirectShow", ProbeDirectShow, tree);
    } else if (strcmp(mode, "opengl") == 0) {
        Time("OpenGL", ProbeOpenGL, tree);
    } else {
        fprintf(stderr, "usage: block_times sections | parts | opengl\n");
        return 2;
    }
    fflush(stdout);
    DestroyWindow(host);
    CoUninitialize();
    return 0;
}
