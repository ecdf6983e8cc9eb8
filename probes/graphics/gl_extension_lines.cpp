// The "Caps" lines: the checklist asked of the current OpenGL context.
#include "probes/graphics/gl_extension_lines.h"

#include <GL/gl.h>

#include "probes/graphics/gl_extension_checklist.h"

bool HasGLExtension(const char* name) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return FindGLExtensionToken(name, extensions);
}

void WriteGLExtensionChecklist(HWND tree, ReportNode parent, GLExtensionTest test) {
    for (const char* name : GLExtensionChecklist) {
        AddNodeFormatted(tree, parent, "%s:%s", name, test(name) ? "present" : "not available");
    }
}

void ProbeGLExtensions(HWND tree, ReportNode parent) {
    WriteGLExtensionChecklist(tree, parent, HasGLExtension);
}
