/* hold_file.exe PATH SECONDS: opens PATH (creating it) with no sharing, prints
   "held" once it has, and keeps it open for SECONDS or until stdin closes. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    HANDLE file;
    if (argc < 3) return 2;
    file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("failed %lu\n", GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    Sleep(atoi(argv[2]) * 1000);
    CloseHandle(file);
    return 0;
}
