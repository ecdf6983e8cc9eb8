// Any bytes through vindrel-report's reading: no crash, every line placed by the
// grammar walk (never the keep-it-all fallback), the document as JSON text gives
// back the very bytes, and a report compared with itself differs nowhere. The
// document then goes into a fleet summary twice, which must count it twice.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "reader/fleet.h"
#include "reader/report_diff.h"
#include "reader/report_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const Reading reading = ReadReport(bytes);
    if (!reading.placed) abort();
    if (WriteReport(Json::parse(reading.doc.dump())) != bytes) abort();
    if (!DiffReports(reading.doc, reading.doc).empty()) abort();
    if (reading.Whole() && !reading.report) abort();
    // Walked without a document, for the counts: the very same problems.
    FleetSummary summary;
    const Reading observed = ReadReport(bytes, &summary);
    if (observed.problems != reading.problems || observed.report != reading.report) abort();
    summary.Add(observed);
    summary.Add(reading);
    const Json counted = Json::parse(summary.ToJson().dump());
    if (counted["reports"] != (reading.report ? 2 : 0) || counted["not_reports"] != (reading.report ? 0 : 2)) abort();
    const std::string text = summary.Text();
    if (text.compare(0, 9, "files: 2\n") != 0) abort();
    return 0;
}
