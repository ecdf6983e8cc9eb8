// The survey as one self-contained HTML page: no script, nothing fetched, every text
// that came from a report escaped.
#pragma once

#include <string>

#include "reader/lines.h"

// survey: the document that `survey --json` prints.
std::string SurveyPage(const Json& survey);

// Writes bytes to path through a temporary file beside it, then renamed, so that a
// failed run leaves no half file. False, and why in *error, when it cannot.
bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string* error);
