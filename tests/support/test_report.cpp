#include "support/test_report.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string TextOf(HWND tree, HTREEITEM item) {
    static char text[1 << 17];
    TVITEMA request = {};
    request.mask = TVIF_TEXT | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = text;
    request.cchTextMax = sizeof text;
    text[0] = '\0';
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&request));
    return text;
}

HTREEITEM Next(HWND tree, UINT how, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

void Walk(HWND tree, HTREEITEM first, int depth, std::vector<TreeLine>& out) {
    for (HTREEITEM item = first; item; item = Next(tree, TVGN_NEXT, item)) {
        out.push_back({depth, TextOf(tree, item)});
        Walk(tree, Next(tree, TVGN_CHILD, item), depth + 1, out);
    }
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

}  // namespace

TestReport::TestReport() : host_(nullptr), tree_(nullptr), saved_(ReportFile) {
    InitCommonControls();
    // Under a loaded emulator the desktop can be slow to answer; give it a few tries.
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && !tree_; ++attempt) {
        if (attempt > 0) Sleep(2000);
        if (!host_)
            host_ = CreateWindowExA(0, "STATIC", "test host", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        if (host_)
            tree_ = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | TVS_HASBUTTONS | TVS_HASLINES, 0, 0, 200, 200,
                                    host_, reinterpret_cast<HMENU>(1002), GetModuleHandleA(nullptr), nullptr);
        if (!tree_) error = GetLastError();
    }
    char dir[MAX_PATH] = "", name[MAX_PATH] = "";
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "rep", 0, name);
    path_ = name;
    ReportFile = fopen(path_.c_str(), "wb");
    EXPECT_NE(tree_, nullptr) << "no tree-view control (host " << host_ << ", error " << error << ")";
    EXPECT_NE(ReportFile, nullptr) << "cannot open " << path_;
}

TestReport::~TestReport() {
    if (ReportFile) fclose(ReportFile);
    ReportFile = saved_;
    DeleteFileA(path_.c_str());
    if (host_) DestroyWindow(host_);
}

std::string TestReport::FileBytes() const {
    if (ReportFile) fflush(ReportFile);
    std::string bytes;
    FILE* in = fopen(path_.c_str(), "rb");
    if (!in) return bytes;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, in)) > 0) bytes.append(chunk, n);
    fclose(in);
    return bytes;
}

std::vector<std::string> TestReport::FileLines() const {
    const std::string bytes = FileBytes();
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "report does not end in CR LF: " << Quote(bytes.substr(start));
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<TreeLine> TestReport::Tree() const {
    std::vector<TreeLine> out;
    Walk(tree_, Next(tree_, TVGN_ROOT, nullptr), 0, out);
    return out;
}

std::vector<TreeLine> TestReport::Section() const {
    std::vector<TreeLine> out;
    Walk(tree_, Next(tree_, TVGN_CHILD, Next(tree_, TVGN_ROOT, nullptr)), 0, out);
    return out;
}

namespace {

std::string Describe(const std::string& line) { return Quote(line); }
std::string Describe(const TreeLine& line) { return std::to_string(line.depth) + " " + Quote(line.text); }

template <class Line>
void ExpectSame(const char* file, int line, const char* what, const std::vector<Line>& actual,
                const std::vector<Line>& expected) {
    std::ostringstream diff;
    for (size_t i = 0; i < actual.size() || i < expected.size(); ++i) {
        const bool haveA = i < actual.size(), haveE = i < expected.size();
        if (haveA && haveE && actual[i] == expected[i]) continue;
        diff << "  " << what << " " << i + 1 << ": expected " << (haveE ? Describe(expected[i]) : "(none)")
             << ", got " << (haveA ? Describe(actual[i]) : "(none)") << "\n";
    }
    if (!diff.str().empty()) ADD_FAILURE_AT(file, line) << what << "s differ:\n" << diff.str();
}

}  // namespace

void ExpectLinesAt(const char* file, int line, const std::vector<std::string>& actual,
                   const std::vector<std::string>& expected) {
    ExpectSame(file, line, "line", actual, expected);
}

void ExpectTreeAt(const char* file, int line, const std::vector<TreeLine>& actual,
                  const std::vector<TreeLine>& expected) {
    ExpectSame(file, line, "node", actual, expected);
}
