// The "Caps" lines of the OpenGL section: one line per checklist row.
#pragma once

#include "report/report.h"

// Whether name is in the extension string of the context current on this thread.
// The string is fetched afresh on every call.
bool HasGLExtension(const char* name);

typedef bool (*GLExtensionTest)(const char* name);

// Writes "<name>:present" or "<name>:not available" under parent for every row,
// in table order, asking test once per row.
void WriteGLExtensionChecklist(HWND tree, ReportNode parent, GLExtensionTest test);

// The checklist for the current context; needs a context current on this thread.
void ProbeGLExtensions(HWND tree, ReportNode parent);
