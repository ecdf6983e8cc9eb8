#include "app/main_dialog.h"

#include "app/resource.h"
#include "probes/probes.h"
#include "report/report.h"

#ifdef VINDREL_SECTION_TIMES
#include <stdio.h>
#endif

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
#ifdef VINDREL_SECTION_TIMES
    // Benchmark build only: each section's cost, to a side file.
    LARGE_INTEGER frequency, marks[sizeof kSections / sizeof kSections[0] + 1];
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&marks[0]);
    int done = 0;
#endif
    for (const Section& section : kSections) {
        ReportNode node = AddNode(tree, nullptr, section.name);
        section.probe(tree, node);
#ifdef VINDREL_SECTION_TIMES
        QueryPerformanceCounter(&marks[++done]);
#endif
    }
#ifdef VINDREL_SECTION_TIMES
    if (FILE* times = fopen("section-times.txt", "w")) {
        for (int i = 0; i < done; ++i) {
            fprintf(times, "%s %.3f\n", kSections[i].name,
                    (marks[i + 1].QuadPart - marks[i].QuadPart) * 1000.0 / frequency.QuadPart);
        }
        fclose(times);
    }
#endif
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
