#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/main_dialog.h"
#include "app/resource.h"
#include "report/report.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ReportFile = fopen("stats.txt", "wb");
    InitCommonControls();
    CoInitialize(nullptr);

    const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);

    // The dialog's destruction posts WM_QUIT; when it could not be made at all,
    // nothing will, so there is nothing to drain.
    if (result != -1) {
        MSG msg = {};
        while (msg.message != WM_QUIT) {
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }

    if (ReportFile) {
        fclose(ReportFile);
        ReportFile = nullptr;
    }
    return 0;
}
