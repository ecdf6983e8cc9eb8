// Resource identifiers of the main dialog and its menu.
#pragma once

// Dialogs
#define IDD_MAIN 101

// Menus
#define IDR_MAIN_MENU 102

// Controls
#define IDC_REPORT_TREE 1002

// Commands
#define IDM_ABOUT 40001
