// What differs between two report documents, one line per difference, each named
// by its place ("OpenGL > Caps > GL_ARB_multisample: not available -> present").
#pragma once

#include <string>
#include <vector>

#include "reader/lines.h"

// The measured clock counts as the same while it moved by at most this share.
const double kDefaultClockTolerancePercent = 3.0;

std::vector<std::string> DiffReports(const Json& a, const Json& b,
                                     double clock_tolerance_percent = kDefaultClockTolerancePercent);
