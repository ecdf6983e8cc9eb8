// The Direct3D lines added into the report tree, under the node each belongs to.
#include "probes/graphics/d3d_nodes.h"

namespace {

void AddLineUnderNode(void* context, const char* text) {
    const NodeLines* target = static_cast<const NodeLines*>(context);
    AddNode(target->tree, target->parent, text);
}

}  // namespace

LineSink LinesUnder(NodeLines* target) { return LineSink{AddLineUnderNode, target}; }

ReportNode AddAdapterNodes(HWND tree, ReportNode block, const char* description, const char* driver,
                           const D3D8IdentityRecord& identity) {
    const ReportNode adapter = AddNode(tree, block, description);
    NodeLines driverNode = {tree, AddNode(tree, adapter, driver)};
    WriteD3D8IdentityLines(identity, LinesUnder(&driverNode));
    return adapter;
}
