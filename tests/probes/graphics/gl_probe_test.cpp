#include <gtest/gtest.h>

#include <GL/gl.h>
#include <stdio.h>

#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "probes/probes.h"
#include "support/test_report.h"

namespace {

const std::vector<std::string> kNames = {
#include "gl_extension_names.inc"
};

std::string GLString(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// The probe against the platform asked another way: the context it leaves current,
// the display device through the full-size record, its modes through the Ex query,
// and the extension string split into words.
TEST(ProbeOpenGL, SectionFollowsTheContextItLeavesCurrent) {
    TestReport report;
    ProbeOpenGL(report.tree(), AddNode(report.tree(), nullptr, "OpenGL"));
    const std::vector<TreeLine> lines = report.Section();
    if (!wglGetCurrentContext()) {
        EXPECT_TREE(lines, {});
        GTEST_SKIP() << "no OpenGL context on this display";
    }
    HDC dc = wglGetCurrentDC();
    HWND window = WindowFromDC(dc);
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    EXPECT_STREQ(name, "Engine");
    EXPECT_FALSE(IsWindowVisible(window));
    PIXELFORMATDESCRIPTOR format = {};
    ASSERT_TRUE(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof format, &format));
    EXPECT_EQ(format.dwFlags & 0x25, 0x25u) << "not a double-buffered window format with OpenGL";
    EXPECT_EQ(format.iPixelType, 0) << "not RGBA";

    DISPLAY_DEVICEA device = {};
    device.cb = sizeof device;
    ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 0, &device, 0));
    std::vector<TreeLine> expected = {
        {0, "Version: " + GLString(GL_VERSION)},
        {0, GLString(GL_RENDERER)},
        {1, "Vendor: " + GLString(GL_VENDOR)},
        {1, "Display modes (" + std::string(device.DeviceString) + ")"},
    };
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    for (DWORD n = 0; EnumDisplaySettingsExA(device.DeviceName, n, &mode, 0); ++n) {
        char line[80];
        snprintf(line, sizeof line, "%lux%lu @ %lu Hz %lu bpp", mode.dmPelsWidth, mode.dmPelsHeight,
                 mode.dmDisplayFrequency, mode.dmBitsPerPel);
        expected.push_back({2, line});
    }
    expected.push_back({1, "Caps"});
    std::istringstream words(GLString(GL_EXTENSIONS));
    const std::set<std::string> offered{std::istream_iterator<std::string>(words), {}};
    for (const std::string& name : kNames)
        expected.push_back({2, name + (offered.count(name) ? ":present" : ":not available")});
    EXPECT_TREE(lines, expected);
}

}  // namespace
