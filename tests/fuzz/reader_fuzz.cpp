// Any bytes through vindrel-report's reading: no crash, every line placed by the
// grammar walk (never the keep-it-all fallback), the document as JSON text gives
// back the very bytes, and a report compared with itself differs nowhere.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "reader/report_diff.h"
#include "reader/report_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const Reading reading = ReadReport(bytes);
    if (!reading.placed) abort();
    if (WriteReport(Json::parse(reading.doc.dump())) != bytes) abort();
    if (!DiffReports(reading.doc, reading.doc).empty()) abort();
    if (reading.Whole() && !reading.report) abort();
    return 0;
}
