#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probes/graphics/gl_extension_checklist.h"
#include "probes/graphics/gl_extension_lines.h"
#include "support/test_report.h"

namespace {

TEST(FindGLExtensionToken, FindsOnlyWholeSpaceSeparatedTokens) {
    const struct {
        const char* name;
        const char* extensions;
        bool found;
    } cases[] = {
        // Whole tokens, with or without a trailing space.
        {"GL_EXT_abgr", "GL_EXT_abgr GL_EXT_bgra ", true},
        {"GL_EXT_bgra", "GL_EXT_abgr GL_EXT_bgra ", true},
        {"GL_EXT_abgr", "GL_EXT_abgr GL_EXT_bgra", true},
        {"GL_EXT_bgra", "GL_EXT_abgr GL_EXT_bgra", true},
        {"GL_EXT_bgra", "GL_EXT_bgra", true},
        {"GL_EXT_cmyka", "GL_EXT_abgr GL_EXT_bgra ", false},
        // A run of spaces, leading or doubled, separates like one.
        {"GL_EXT_abgr", " GL_EXT_abgr GL_EXT_bgra", true},
        {"GL_EXT_bgra", " GL_EXT_abgr GL_EXT_bgra", true},
        {"GL_EXT_abgr", "GL_EXT_abgr  GL_EXT_bgra GL_EXT_cmyka", true},
        {"GL_EXT_bgra", "GL_EXT_abgr  GL_EXT_bgra GL_EXT_cmyka", true},
        {"GL_EXT_cmyka", "GL_EXT_abgr  GL_EXT_bgra GL_EXT_cmyka", true},
        {"GL_EXT_cmyka", "   GL_EXT_abgr    GL_EXT_cmyka   ", true},
        {"GL_EXT_bgra", "GL_EXT_abgr   GL_EXT_cmyka  ", false},
        {"GL_EXT_abgr", "", false},
        {"GL_EXT_abgr", " ", false},
        {"", "GL_EXT_abgr  GL_EXT_bgra ", false},
        {" ", "GL_EXT_abgr  GL_EXT_bgra ", false},
        // Only the space separates.
        {"GL_EXT_abgr", "GL_EXT_abgr\tGL_EXT_bgra", false},
        {"GL_EXT_bgra", "GL_EXT_abgr\nGL_EXT_bgra", false},
        {"GL_EXT_abgr\tGL_EXT_bgra", "GL_EXT_abgr\tGL_EXT_bgra GL_EXT_cmyka", true},
        {"GL_EXT_bgra", "GL_EXT_abgr GL_EXT_bgra\r\n", false},
        // Case-sensitive, whole tokens only.
        {"GL_EXT_abgr", "GL_EXT_ABGR GL_ext_abgr", false},
        {"GL_EXT_texture", "GL_EXT_texture3D GL_EXT_texture_object", false},
        {"GL_EXT_texture3D", "GL_EXT_texture GL_EXT_texture3", false},
        {"GL_EXT_texture", "GL_EXT_texture3D GL_EXT_texture", true},
        {"GL_ARB_texture_env_add", "GL_EXT_texture_env_add", false},
        {"GL_EXT_texture_env_add", "GL_ARB_texture_env_add", false},
        {"GL_EXT_texture_env_add", "GL_ARB_texture_env_add GL_EXT_texture_env_add", true},
        {"", "GL_EXT_abgr ", false},
        // A null name or string is not found.
        {nullptr, "GL_EXT_abgr", false},
        {"GL_EXT_abgr", nullptr, false},
        {nullptr, nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindGLExtensionToken(c.name, c.extensions), c.found)
            << "name " << (c.name ? c.name : "(null)") << " in \"" << (c.extensions ? c.extensions : "(null)") << "\"";
}

// The 222 names as typed for the tests, compared whole: a misspelt, missing or
// reordered row shows here.
const std::vector<std::string> kNames = {
#include "gl_extension_names.inc"
};

TEST(GLExtensionChecklist, IsTheTypedListWhole) {
    ASSERT_EQ(kNames.size(), 222u);
    EXPECT_LINES(std::vector<std::string>(GLExtensionChecklist, GLExtensionChecklist + kGLExtensionCount), kNames);
}

// The extension string that CraftedTest scans, standing in for the current context's.
const char* crafted = nullptr;
std::vector<std::string> asked;

bool CraftedTest(const char* name) {
    asked.push_back(name);
    return FindGLExtensionToken(name, crafted);
}

std::vector<std::string> ChecklistLines(const char* extensions) {
    crafted = extensions;
    asked.clear();
    TestReport report;
    ReportNode caps = AddNode(report.tree(), nullptr, "Caps");
    WriteGLExtensionChecklist(report.tree(), caps, CraftedTest);
    std::vector<std::string> lines = report.FileLines();
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return lines;
    EXPECT_EQ(lines[0], "Caps");
    const std::vector<TreeLine> tree = report.Tree();
    EXPECT_EQ(tree.size(), lines.size());
    for (size_t i = 1; i < tree.size(); ++i) EXPECT_EQ(tree[i].depth, 1) << tree[i].text;
    lines.erase(lines.begin());
    return lines;
}

// Every line is the asked row's name plus the word; returns the names marked present.
std::vector<std::string> PresentRows(const std::vector<std::string>& lines) {
    std::vector<std::string> present;
    EXPECT_EQ(lines.size(), 222u);
    EXPECT_EQ(asked.size(), 222u);
    for (size_t i = 0; i < lines.size() && i < asked.size() && i < kNames.size(); ++i) {
        EXPECT_EQ(asked[i], kNames[i]) << "row " << i + 1 << " asked out of order";
        const std::string& name = kNames[i];
        if (lines[i] == name + ":present") present.push_back(name);
        else EXPECT_EQ(lines[i], name + ":not available") << "row " << i + 1;
    }
    return present;
}

TEST(WriteGLExtensionChecklist, MarksExactlyTheRowsInTheString) {
    const std::vector<std::string> two = {"GL_ARB_multitexture", "GL_EXT_bgra"};
    const struct {
        const char* extensions;
        std::vector<std::string> present;  // in table order
    } cases[] = {
        {"GL_ARB_multitexture GL_EXT_bgra ", two},
        {"GL_EXT_bgra GL_ARB_multitexture GL_ARB_imaging WGL_EXT_swap_control", two},
        {"GL_EXT_texture_env_add GL_SGIX_shadow GL_FfdMaskSGIX", {"GL_SGIX_shadow", "GL_FfdMaskSGIX", "GL_EXT_texture_env_add"}},
        {"GL_ARB_texture_env_add", {"GL_ARB_texture_env_add"}},
        {nullptr, {}},
        {" GL_ARB_multitexture  GL_EXT_bgra", two},
        {"gl_arb_multitexture GL_EXT_BGRA", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PresentRows(ChecklistLines(c.extensions)), c.present) << (c.extensions ? c.extensions : "(null)");
    std::string all;
    for (const std::string& name : kNames) all += name + " ";
    EXPECT_EQ(PresentRows(ChecklistLines(all.c_str())), kNames);
}

// Without a current rendering context there is no extension string.
TEST(ProbeGLExtensions, NoCurrentContextMeansNothingIsAvailable) {
    ASSERT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(HasGLExtension("GL_ARB_multitexture"));
    TestReport report;
    ProbeGLExtensions(report.tree(), AddNode(report.tree(), nullptr, "Caps"));
    const std::vector<std::string> lines = report.FileLines();
    ASSERT_EQ(lines.size(), 223u);
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], kNames[i - 1] + ":not available");
}

}  // namespace
