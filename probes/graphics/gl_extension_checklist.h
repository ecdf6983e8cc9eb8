// The OpenGL extension checklist and the scan of an extension string; no platform calls.
#pragma once

#include <stddef.h>

const size_t kGLExtensionCount = 222;

// Every machine gets the same rows, in this order, found or not.
extern const char* const GLExtensionChecklist[kGLExtensionCount];

// True when name is one whole space-separated token of extensions (case-sensitive).
// Only ' ' separates; a run of spaces separates like one. Null name or string: false.
bool FindGLExtensionToken(const char* name, const char* extensions);
