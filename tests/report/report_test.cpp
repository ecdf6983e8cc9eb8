#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "support/test_report.h"

namespace {

TEST(AddNode, WritesEachLineWithCrLfInCallOrder) {
    TestReport report;
    ReportNode cpu = AddNode(report.tree(), nullptr, "CPU");
    ASSERT_NE(cpu, nullptr);
    ReportNode child = AddNode(report.tree(), cpu, "same");
    AddNode(report.tree(), cpu, "same");
    AddNode(report.tree(), child, "");
    AddNode(report.tree(), nullptr, "DirectX");
    EXPECT_EQ(report.FileBytes(), "CPU\r\nsame\r\nsame\r\n\r\nDirectX\r\n");
    EXPECT_TREE(report.Tree(), {{0, "CPU"}, {1, "same"}, {2, ""}, {1, "same"}, {0, "DirectX"}});
}

// What AddNode asks of the control, seen by a window procedure put in front of its own.
WNDPROC treeProc = nullptr;
std::vector<std::string> inserts;

LRESULT CALLBACK RecordInserts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TVM_INSERTITEMA) {
        const auto* r = reinterpret_cast<const TVINSERTSTRUCTA*>(lParam);
        char text[256];
        snprintf(text, sizeof text, "wParam %u after %s mask 0x%x length %d %s", unsigned(wParam),
                 r->hInsertAfter == TVI_LAST ? "last" : r->hInsertAfter == TVI_ROOT ? "root" : "other", r->item.mask,
                 r->item.cchTextMax, r->item.pszText);
        inserts.push_back(text);
    }
    return CallWindowProcA(treeProc, window, message, wParam, lParam);
}

TEST(AddNode, AsksForATextItemLastUnderItsParent) {
    TestReport report;
    treeProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(report.tree(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordInserts)));
    inserts.clear();
    ReportNode cpu = AddNode(report.tree(), nullptr, "CPU");
    AddNodeFormatted(report.tree(), cpu, "Faimly: %d", 15);
    AddNode(report.tree(), cpu, "");
    SetWindowLongPtrA(report.tree(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(treeProc));
    // TVIF_TEXT is 1; the length leaves the terminating zero out.
    EXPECT_LINES(inserts, {"wParam 0 after root mask 0x1 length 3 CPU",
                           "wParam 0 after last mask 0x1 length 10 Faimly: 15", "wParam 0 after last mask 0x1 length 0 "});
}

TEST(AddNode, TextIsNeverAFormat) {
    TestReport report;
    AddNode(report.tree(), nullptr, "100% %s%n%x");
    AddNodeFormatted(report.tree(), nullptr, "%d%%", 50);
    AddNodeFormatted(report.tree(), nullptr, "%s", "%s%n");
    EXPECT_LINES(report.FileLines(), {"100% %s%n%x", "50%", "%s%n"});
}

TEST(AddNode, ControlBytesAreWrittenUnchanged) {
    TestReport report;
    const char text[] = "a\tb\rc\nd\x80\xff";
    AddNode(report.tree(), nullptr, text);
    EXPECT_EQ(report.FileBytes(), std::string(text) + "\r\n");
    EXPECT_TREE(report.Tree(), {{0, text}});
}

TEST(AddNode, RefusedInsertionStillWritesAndChildrenGoToRoot) {
    TestReport report;
    ReportNode root = AddNode(report.tree(), nullptr, "root");
    // A window that is no tree view answers the insertion with 0.
    ReportNode refused = AddNode(GetParent(report.tree()), root, "refused");
    EXPECT_EQ(refused, nullptr);
    AddNode(report.tree(), refused, "orphan");
    EXPECT_LINES(report.FileLines(), {"root", "refused", "orphan"});
    EXPECT_TREE(report.Tree(), {{0, "root"}, {0, "orphan"}});
}

TEST(AddNodeFormatted, FormatsThroughTheReportFormatter) {
    TestReport report;
    ReportNode caps = AddNode(report.tree(), nullptr, "D3DDEVTYPE_HAL caps");
    // The report's own exponent and the arguments after the first: the formats themselves are format_test's.
    AddNodeFormatted(report.tree(), caps, "MaxVertexW: %g", static_cast<double>(1e10f));
    AddNodeFormatted(report.tree(), caps, "Total Physical Memory: %d [%d MB]", 0xFFFFFFFFu, 0xFFFFFFFFu >> 20);
    EXPECT_LINES(report.FileLines(),
                 {"D3DDEVTYPE_HAL caps", "MaxVertexW: 1e+010", "Total Physical Memory: -1 [4095 MB]"});
}

TEST(AddNodeFormatted, CutsLongLinesAt4095Characters) {
    TestReport report;
    const std::string big(70000, 'r');
    AddNodeFormatted(report.tree(), nullptr, "Version: %s", big.c_str());
    AddNode(report.tree(), nullptr, big.c_str());
    const auto lines = report.FileLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 4095u);
    EXPECT_EQ(lines[0].substr(0, 9), "Version: ");
    EXPECT_EQ(lines[1], big);  // plain text has no limit of its own
    const auto tree = report.Tree();
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree[0].text.size(), 4095u);
}

TEST(AddNode, NoFileMeansOnlyTheTree) {
    TestReport report;
    FILE* file = ReportFile;
    ReportFile = nullptr;
    AddNode(report.tree(), nullptr, "CPU");
    ReportFile = file;
    EXPECT_EQ(report.FileBytes(), "");
    EXPECT_TREE(report.Tree(), {{0, "CPU"}});
}

// A crash inside the next platform call must not take the lines made so far:
// another handle reads each line as soon as AddNode returns.
TEST(AddNode, EachLineIsInTheFileWhenAddNodeReturns) {
    TestReport report;
    char dir[MAX_PATH] = "", path[MAX_PATH] = "";
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "fl", 0, path);
    FILE* const own = ReportFile;
    ReportFile = fopen(path, "wb");
    ASSERT_NE(ReportFile, nullptr);
    auto onDisk = [&] {
        std::string bytes;
        const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return bytes;
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
        CloseHandle(file);
        return bytes;
    };
    ReportNode cpu = AddNode(report.tree(), nullptr, "CPU");
    EXPECT_EQ(onDisk(), "CPU\r\n");
    AddNodeFormatted(report.tree(), cpu, "Faimly: %d", 6);
    EXPECT_EQ(onDisk(), "CPU\r\nFaimly: 6\r\n");
    AddNode(report.tree(), cpu, "");
    EXPECT_EQ(onDisk(), "CPU\r\nFaimly: 6\r\n\r\n");
    fclose(ReportFile);
    ReportFile = own;
    DeleteFileA(path);
}

}  // namespace
