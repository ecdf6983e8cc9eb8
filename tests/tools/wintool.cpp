// Looks at a running Vindrel from outside its process: finds the dialog by its
// caption, reads the tree across the process boundary, reports window facts, and
// posts the system's close command. Output is binary-clean for the test scripts.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

HWND FindDialog() { return FindWindowA("#32770", "Vindrel"); }

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// Remote buffer in the dialog's process for TVM_GETITEMA.
struct Remote {
    HANDLE process = nullptr;
    char* base = nullptr;
    static const SIZE_T kTextRoom = 1 << 20;
    bool Open(DWORD pid) {
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!process) return false;
        base = static_cast<char*>(
            VirtualAllocEx(process, nullptr, sizeof(TVITEMA) + kTextRoom, MEM_COMMIT, PAGE_READWRITE));
        return base != nullptr;
    }
    ~Remote() {
        if (base) VirtualFreeEx(process, base, 0, MEM_RELEASE);
        if (process) CloseHandle(process);
    }
};

bool ReadItem(HWND tree, Remote& remote, HTREEITEM item, char* text, UINT* state, int* children) {
    TVITEMA request = {};
    request.mask = TVIF_TEXT | TVIF_STATE | TVIF_CHILDREN | TVIF_HANDLE;
    request.hItem = item;
    request.stateMask = 0xFFFFFFFF;
    request.pszText = remote.base + sizeof(TVITEMA);
    request.cchTextMax = Remote::kTextRoom;
    if (!WriteProcessMemory(remote.process, remote.base, &request, sizeof request, nullptr)) return false;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.base))) return false;
    TVITEMA answer = {};
    if (!ReadProcessMemory(remote.process, remote.base, &answer, sizeof answer, nullptr)) return false;
    SIZE_T got = 0;
    ReadProcessMemory(remote.process, remote.base + sizeof(TVITEMA), text, Remote::kTextRoom, &got);
    text[Remote::kTextRoom - 1] = '\0';
    *state = answer.state;
    *children = answer.cChildren;
    return true;
}

// One record per item, depth first: "<depth> <state hex> <children> <length>:<text>\n".
int DumpTree() {
    HWND dialog = FindDialog();
    if (!dialog) {
        fprintf(stderr, "no dialog\n");
        return 2;
    }
    HWND tree = GetDlgItem(dialog, 1002);
    Remote remote;
    if (!tree || !remote.Open(ProcessOf(dialog))) {
        fprintf(stderr, "no tree\n");
        return 2;
    }
    static char text[Remote::kTextRoom];
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    int depth = 0;
    while (item) {
        UINT state = 0;
        int children = 0;
        if (!ReadItem(tree, remote, item, text, &state, &children)) return 3;
        const size_t len = strlen(text);
        printf("%d %x %d %u:", depth, state, children, static_cast<unsigned>(len));
        fwrite(text, 1, len, stdout);
        fputc('\n', stdout);
        HTREEITEM next = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)item));
        if (next) {
            depth++;
            item = next;
            continue;
        }
        while (item) {
            next = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item));
            if (next) {
                item = next;
                break;
            }
            item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item));
            depth--;
        }
    }
    return 0;
}

// Waits until the dialog exists and is visible; prints its handle.
int WaitShown(int timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start <= static_cast<DWORD>(timeoutMs)) {
        HWND dialog = FindDialog();
        if (dialog && IsWindowVisible(dialog)) {
            printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(dialog)));
            return 0;
        }
        Sleep(50);
    }
    fprintf(stderr, "dialog not shown\n");
    return 1;
}

BOOL CALLBACK ListEngine(HWND window, LPARAM pid) {
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (ProcessOf(window) == static_cast<DWORD>(pid) && strcmp(cls, "Engine") == 0) {
        RECT rc = {};
        GetWindowRect(window, &rc);
        printf("engine visible=%d style=%lx owner=%d size=%ldx%ld\n", IsWindowVisible(window) ? 1 : 0,
               static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
               GetWindow(window, GW_OWNER) ? 1 : 0, rc.right - rc.left, rc.bottom - rc.top);
    }
    return TRUE;
}

BOOL CALLBACK ListBox(HWND window, LPARAM pid) {
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    if (ProcessOf(window) != static_cast<DWORD>(pid) || !IsWindowVisible(window)) return TRUE;
    if (window == FindDialog()) return TRUE;
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    HWND owner = GetWindow(window, GW_OWNER);
    printf("window class=%s title=%s owned_by_dialog=%d\n", cls, title, owner == FindDialog() ? 1 : 0);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char ccls[64] = "", ctext[512] = "";
        GetClassNameA(child, ccls, sizeof ccls);
        GetWindowTextA(child, ctext, sizeof ctext);
        if (!IsWindowVisible(child)) continue;
        printf("  child class=%s id=%d text=", ccls, GetDlgCtrlID(child));
        for (const char* c = ctext; *c; ++c) {
            if (*c == '\n') fputs("\\n", stdout);
            else if (*c == '\r') fputs("\\r", stdout);
            else fputc(*c, stdout);
        }
        fputc('\n', stdout);
    }
    return TRUE;
}

// Facts of the dialog: position, frame (x y width height), styles, menu and the tree control.
int Describe() {
    HWND dialog = FindDialog();
    if (!dialog) return 2;
    RECT rc = {};
    GetWindowRect(dialog, &rc);
    printf("dialog x=%ld y=%ld visible=%d style=%lx exstyle=%lx\n", rc.left, rc.top, IsWindowVisible(dialog) ? 1 : 0,
           static_cast<unsigned long>(GetWindowLongA(dialog, GWL_STYLE)),
           static_cast<unsigned long>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    printf("frame %ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    HWND tree = GetDlgItem(dialog, 1002);
    char cls[64] = "";
    GetClassNameA(tree, cls, sizeof cls);
    printf("tree class=%s style=%lx\n", cls, static_cast<unsigned long>(GetWindowLongA(tree, GWL_STYLE)));
    // Menus belong to the dialog's process, so the bar is located by geometry: it
    // lies between the caption and the client area; "File" is its first item.
    POINT client = {0, 0};
    ClientToScreen(dialog, &client);
    const int barHeight = GetSystemMetrics(SM_CYMENU);
    printf("menubar file x=%ld y=%ld\n", client.x + 12, client.y - barHeight / 2 - 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const char* command = argc > 1 ? argv[1] : "";
    if (strcmp(command, "wait-shown") == 0) return WaitShown(argc > 2 ? atoi(argv[2]) : 60000);
    if (strcmp(command, "tree") == 0) return DumpTree();
    if (strcmp(command, "describe") == 0) return Describe();
    HWND dialog = FindDialog();
    if (!dialog) {
        fprintf(stderr, "no dialog\n");
        return 2;
    }
    const DWORD pid = ProcessOf(dialog);
    if (strcmp(command, "engines") == 0) return EnumWindows(ListEngine, pid) ? 0 : 3;
    if (strcmp(command, "windows") == 0) return EnumWindows(ListBox, pid) ? 0 : 3;
    if (strcmp(command, "close") == 0) return PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 3;
    // Activates the dialog as a click on another window and back on it would: Wine can
    // leave the foreground dialog's caption drawn inactive after the probes' windows.
    if (strcmp(command, "activate") == 0) {
        SetForegroundWindow(GetDesktopWindow());
        return SetForegroundWindow(dialog) ? 0 : 3;
    }
    fprintf(stderr, "usage: wintool wait-shown [ms] | tree | describe | engines | windows | close | activate\n");
    return 64;
}
