#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "probes/graphics/gl_extensions.h"
#include "probes/probes.h"
#include "support/test_report.h"

namespace {

std::string GLString(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

BOOL CALLBACK CountEngines(HWND window, LPARAM count) {
    char name[16] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && GetClassNameA(window, name, sizeof name) && strcmp(name, "Engine") == 0) {
        ++*reinterpret_cast<int*>(count);
        EXPECT_FALSE(IsWindowVisible(window));
    }
    return TRUE;
}

// The probe against what the platform answers the test for the same context and display.
TEST(ProbeOpenGL, SectionFollowsTheContextItLeavesCurrent) {
    TestReport report;
    ReportNode section = AddNode(report.tree(), nullptr, "OpenGL");
    ProbeOpenGL(report.tree(), section);

    int engines = 0;
    EnumWindows(CountEngines, reinterpret_cast<LPARAM>(&engines));
    EXPECT_EQ(engines, 1);

    const std::vector<TreeLine> lines = report.Section();
    if (!wglGetCurrentContext()) {
        EXPECT_TREE(lines, {});
        GTEST_SKIP() << "no OpenGL context on this display";
    }

    std::vector<TreeLine> expected = {
        {0, "Version: " + GLString(GL_VERSION)},
        {0, GLString(GL_RENDERER)},
        {1, "Vendor: " + GLString(GL_VENDOR)},
    };
    DISPLAY_DEVICEA device = {};
    device.cb = 168;
    EnumDisplayDevicesA(nullptr, 0, &device, 0);
    expected.push_back({1, std::string("Display modes (") + device.DeviceString + ")"});
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    for (DWORD n = 0; EnumDisplaySettingsA(device.DeviceName, n, &mode); ++n) {
        char line[64];
        snprintf(line, sizeof line, "%dx%d @ %d Hz %d bpp", static_cast<int>(mode.dmPelsWidth),
                 static_cast<int>(mode.dmPelsHeight), static_cast<int>(mode.dmDisplayFrequency),
                 static_cast<int>(mode.dmBitsPerPel));
        expected.push_back({2, line});
    }
    expected.push_back({1, "Caps"});
    const std::string extensions = GLString(GL_EXTENSIONS);
    const std::string spaced = " " + extensions + " ";
    for (const char* name : GLExtensionChecklist) {
        const bool inString = spaced.find(std::string(" ") + name + " ") != std::string::npos;
        expected.push_back({2, std::string(name) + (inString ? ":present" : ":not available")});
    }
    EXPECT_TREE(lines, expected);

    std::vector<std::string> fileLines = {"OpenGL"};
    for (const TreeLine& line : expected) fileLines.push_back(line.text);
    EXPECT_LINES(report.FileLines(), fileLines);
}

}  // namespace
