#include "app/main_dialog.h"

#include "app/resource.h"
#include "probes/probes.h"
#include "report/report.h"

namespace {

struct Section {
    const char* name;
    void (*probe)(HWND tree, ReportNode parent);
};

// The section names are report text: stored reports depend on them, byte for byte.
const Section kSections[] = {
    {"CPU", ProbeCpu},
    {"DirectX", ProbeDirectX},
    {"OpenGL", ProbeOpenGL},
    {"Memory", ProbeMemory},
    {"Windows", ProbeWindows},
};

}  // namespace

void PopulateReport(HWND dialog) {
    HWND tree = GetDlgItem(dialog, IDC_REPORT_TREE);
    for (const Section& section : kSections) {
        ReportNode node = AddNode(tree, nullptr, section.name);
        section.probe(tree, node);
    }
}

BOOL OnCommand(HWND dialog, WPARAM wParam, WORD, LPARAM) {
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDM_ABOUT:
        ShowAbout(dialog);
        break;
    default:
        break;
    }
    return TRUE;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        PopulateReport(dialog);
        return TRUE;
    case WM_COMMAND:
        return OnCommand(dialog, wParam, HIWORD(wParam), lParam);
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    case WM_CREATE:
    case WM_MOUSEMOVE:
        return TRUE;
    default:
        return FALSE;
    }
}
