#pragma once

#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL OnCommand(HWND dialog, WPARAM wParam, WORD notification, LPARAM control);
void PopulateReport(HWND dialog);
void ShowAbout(HWND owner);
