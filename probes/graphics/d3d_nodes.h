// The Direct3D lines added into the report tree; free of d3d8.h and d3d9.h.
#pragma once

#include "probes/graphics/d3d_caps_lines.h"
#include "report/report.h"

// A LineSink that adds each line as the next child of one node.
struct NodeLines {
    HWND tree;
    ReportNode parent;
};

LineSink LinesUnder(NodeLines* target);

// An adapter's description under block, its driver under that and the identity
// lines under the driver, both texts shown as they are. Returns the adapter node.
ReportNode AddAdapterNodes(HWND tree, ReportNode block, const char* description, const char* driver,
                           const D3D8IdentityRecord& identity);
