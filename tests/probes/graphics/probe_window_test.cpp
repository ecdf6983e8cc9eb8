#include <gtest/gtest.h>

#include <string>

#include "probes/graphics/probe_window.h"

namespace {

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

TEST(CreateProbeWindow, EveryCallMakesANewHiddenTopLevelEngineWindow) {
    HWND first = CreateProbeWindow();
    HWND second = CreateProbeWindow();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);

    HINSTANCE self = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExA(self, "Engine", &wc));
    EXPECT_EQ(wc.style, 0x20u);  // CS_OWNDC alone
    EXPECT_EQ(wc.lpfnWndProc, &ProbeWindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hInstance, self);
    EXPECT_TRUE(!wc.hIcon && !wc.hCursor && !wc.hbrBackground && !wc.lpszMenuName && !wc.hIconSm);

    // The platform adds clip-siblings and the window edge to every captioned top-level
    // window, and stretches it to the smallest size a user could drag it to.
    const LONG width = GetSystemMetrics(SM_CXMINTRACK) > 4 ? GetSystemMetrics(SM_CXMINTRACK) : 4;
    const LONG height = GetSystemMetrics(SM_CYMINTRACK) > 4 ? GetSystemMetrics(SM_CYMINTRACK) : 4;
    for (HWND window : {first, second}) {
        char title[16] = "";
        GetWindowTextA(window, title, sizeof title);
        EXPECT_STREQ(title, "Engine");
        EXPECT_EQ(ClassOf(window), "Engine");
        EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & ~WS_CLIPSIBLINGS, 0x00CF0000);
        EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
        EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
        EXPECT_EQ(GetMenu(window), nullptr);
        EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)), self);
        RECT rect = {};
        GetWindowRect(window, &rect);
        EXPECT_EQ(rect.left, 0);
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right - rect.left, width);
        EXPECT_EQ(rect.bottom - rect.top, height);
    }
    EXPECT_NE(GetActiveWindow(), first);
    EXPECT_NE(GetActiveWindow(), second);

    // Other messages go to the default procedure; destruction posts quit with 0.
    EXPECT_EQ(SendMessageA(first, WM_GETTEXTLENGTH, 0, 0), 6);
    EXPECT_TRUE(DestroyWindow(first));
    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

}  // namespace
