// Watches for the Vindrel dialog for bench/report_time.sh: for each of COUNT runs,
// prints "shown" the moment the dialog is visible, then (with "escape") posts the
// Escape key to it and prints "gone" once the window is destroyed; "timeout" when
// either takes too long. The caller times the lines; polling here costs no process
// start per look. One watcher lives through the whole benchmark: it also keeps
// Wine's desktop process alive, which otherwise exits between programs and, on a
// slow machine, may fail to start again in time for the next one.
// Usage: watch.exe COUNT [escape]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const DWORD kPatienceMs = 300000;

bool Poll(bool (*ready)(HWND*), HWND* dialog) {
    const DWORD start = GetTickCount();
    while (!ready(dialog)) {
        if (GetTickCount() - start > kPatienceMs) return false;
        Sleep(10);
    }
    return true;
}

bool Shown(HWND* dialog) {
    *dialog = FindWindowA("#32770", "Vindrel");
    return *dialog && IsWindowVisible(*dialog);
}

bool Gone(HWND* dialog) { return !IsWindow(*dialog); }

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? atoi(argv[1]) : 1;
    const bool escape = argc > 2 && strcmp(argv[2], "escape") == 0;
    printf("ready\n");
    fflush(stdout);
    for (int run = 0; run < count; ++run) {
        HWND dialog = nullptr;
        if (!Poll(Shown, &dialog)) {
            printf("timeout\n");
            fflush(stdout);
            continue;
        }
        printf("shown\n");
        fflush(stdout);
        if (!escape) continue;
        // The dialog's own loop turns the key into IDCANCEL, as it does a typed one.
        HWND target = GetDlgItem(dialog, 1002);
        if (!target) target = dialog;
        PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        if (!Poll(Gone, &dialog)) {
            printf("timeout\n");
            fflush(stdout);
            continue;
        }
        printf("gone\n");
        fflush(stdout);
    }
    return 0;
}
