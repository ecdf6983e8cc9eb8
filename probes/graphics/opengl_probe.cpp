#include "probes/probes.h"

void ProbeOpenGL(HWND, ReportNode) {}
