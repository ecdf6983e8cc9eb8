// The floor of the benchmark: Vindrel's start-up and dialog without the report,
// so that the difference to vindrel.exe is what the sections cost.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/resource.h"

namespace {

INT_PTR CALLBACK FloorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    CoInitialize(nullptr);
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, FloorDialogProc, 0) != -1) {
        MSG msg = {};
        while (msg.message != WM_QUIT) {
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    return 0;
}
