// A whole report read by its grammar, into one JSON document or told row by row to
// whatever counts it, and a document written back.
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
    // False when the grammar's walk could not give back the bytes, so every line was
    // kept as it is: a fault of the reader, never of the file.
    bool placed = true;
    bool Whole() const { return problems.empty(); }
};

// Told of each line of a counted row (one whose Row::field is set) as the walk reads
// it: its values, pointing into the report's bytes, and the place of the adapter or
// drive it belongs to in its list (0 outside a list).
class ReportObserver {
public:
    virtual ~ReportObserver() = default;
    virtual void Take(const Row& row, const LineValue& value, size_t item) = 0;
};

// Never fails: a line that does not fit is kept in the document's "unfit" list.
// With an observer the walk builds no document (doc stays null) and tells the
// observer instead; what check says is the same either way.
Reading ReadReport(std::string_view bytes, ReportObserver* observer = nullptr);

// The report's bytes from a document. Throws std::exception (Json's own included)
// for a document that is not one of ours.
std::string WriteReport(const Json& doc);

// A short printable excerpt of raw bytes, for messages.
std::string Excerpt(std::string_view bytes, size_t limit = 60);
