// A whole report read by its grammar into one JSON document, and written back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "reader/lines.h"

// The name a report document carries in its "format" member.
extern const char* const kDocumentFormat;

struct Reading {
    Json doc;
    // What check says, in line order: "12: expected ..." or a message about the whole.
    std::vector<std::string> problems;
    // False when not one line is a section heading: the file is no report at all.
    bool report = false;
    bool Whole() const { return problems.empty(); }
};

// Never fails: a line that does not fit is kept in the document's "unfit" list.
Reading ReadReport(std::string_view bytes);

// The report's bytes from a document. Throws std::exception (Json's own included)
// for a document that is not one of ours.
std::string WriteReport(const Json& doc);

// A short printable excerpt of raw bytes, for messages.
std::string Excerpt(std::string_view bytes, size_t limit = 60);
