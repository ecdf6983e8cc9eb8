#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "probes/probes.h"
#include "support/test_report.h"

namespace {

// What only the process itself can see: the probe leaves its context current on a
// hidden "Engine" window with a double-buffered RGBA window format, and its lines
// come from that context. The lines against the platform: tests/e2e/test_opengl.py.
TEST(ProbeOpenGL, LeavesItsContextCurrentOnAHiddenEngineWindow) {
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
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, std::string("Version: ") + reinterpret_cast<const char*>(glGetString(GL_VERSION)));
}

}  // namespace
