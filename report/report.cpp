#include "report/report.h"

#include <stdarg.h>

#include "report/format.h"

FILE* ReportFile = nullptr;

ReportNode AddNode(HWND tree, ReportNode parent, const char* text) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = parent ? TVI_LAST : TVI_ROOT;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.cchTextMax = lstrlenA(text);
    const ReportNode node = reinterpret_cast<ReportNode>(
        SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (ReportFile) {
        fprintf(ReportFile, "%s\r\n", text);
        // The probes call into drivers that may crash the process: every line made
        // so far must already be in the file by then.
        fflush(ReportFile);
    }
    return node;
}

ReportNode unchecked::AddNodeFormatted(HWND tree, ReportNode parent, const char* format, ...) {
    char line[kLineBufferSize];
    va_list args;
    va_start(args, format);
    FormatLineV(line, sizeof line, format, args);
    va_end(args);
    return AddNode(tree, parent, line);
}
