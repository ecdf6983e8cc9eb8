// A document as JSON text, byte for byte as Json::dump writes it, in a fraction of
// the time: json of a fleet spends most of its time writing.
#pragma once

#include <string>

#include "reader/lines.h"

// indent: -1 for one line, otherwise the spaces of each level, as dump takes it.
std::string JsonText(const Json& value, int indent = -1,
                     Json::error_handler_t utf8 = Json::error_handler_t::strict);
