// The report: every line is a node of the dialog's tree and a line of "stats.txt".
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <stdio.h>

#include "report/line_format.h"

typedef HTREEITEM ReportNode;

// The report stream; null when "stats.txt" could not be opened. Owned by the entry point.
extern FILE* ReportFile;

// Inserts text as the last child of parent (at the root for a null parent) and
// appends it with CR LF to ReportFile, flushed at once. Returns the new node, null
// when refused.
ReportNode AddNode(HWND tree, ReportNode parent, const char* text);

namespace unchecked {
ReportNode AddNodeFormatted(HWND tree, ReportNode parent, const char* format, ...);
}  // namespace unchecked

// Formats into a 4096-byte line (cut at 4095 characters), then does what AddNode does.
// The format is checked against the arguments at compile time (report/line_format.h).
template <class... Args>
ReportNode AddNodeFormatted(HWND tree, ReportNode parent, LineFormatFor<Args...> format, Args... args) {
    return unchecked::AddNodeFormatted(tree, parent, format.text(), args...);
}
