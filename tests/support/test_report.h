// A report to write into from a test: a real tree-view control in a hidden
// window and a temporary "stats.txt" in place of the program's report file.
#pragma once

#include <string>
#include <vector>

#include "report/report.h"

struct TreeLine {
    int depth;
    std::string text;
    bool operator==(const TreeLine& other) const { return depth == other.depth && text == other.text; }
};

class TestReport {
public:
    TestReport();
    ~TestReport();
    TestReport(const TestReport&) = delete;
    TestReport& operator=(const TestReport&) = delete;

    HWND tree() const { return tree_; }
    // The bytes written so far (the stream is flushed first).
    std::string FileBytes() const;
    // The file split at CR LF; a fault is added when the file does not end in CR LF.
    std::vector<std::string> FileLines() const;
    // The tree, depth first, with depths from 0 at the root.
    std::vector<TreeLine> Tree() const;
    // The texts of the children of the first root node, depth first, depths from 0.
    std::vector<TreeLine> Section() const;

private:
    HWND host_;
    HWND tree_;
    std::string path_;
    FILE* saved_;
};

// Compares line lists and reports a failure at the caller's file and line.
void ExpectLinesAt(const char* file, int line, const std::vector<std::string>& actual,
                   const std::vector<std::string>& expected);
void ExpectTreeAt(const char* file, int line, const std::vector<TreeLine>& actual,
                  const std::vector<TreeLine>& expected);
#define EXPECT_LINES(actual, ...) ExpectLinesAt(__FILE__, __LINE__, actual, __VA_ARGS__)
#define EXPECT_TREE(actual, ...) ExpectTreeAt(__FILE__, __LINE__, actual, __VA_ARGS__)
