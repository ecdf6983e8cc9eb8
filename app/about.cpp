#include "app/main_dialog.h"

namespace {

const char kAboutText[] =
    "Vindrel\n"
    "Written by the Vindrel developers\n"
    "First released 08/12/2026\n"
    "DirectX 9 section added 08/12/2026\n"
    "https://vindrel.example.org/\n";

}  // namespace

void ShowAbout(HWND owner) {
    MessageBoxA(owner, kAboutText, "Capabilities", MB_OK);
}
