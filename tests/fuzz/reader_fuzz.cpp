// Any bytes through vindrel-report's reading: no crash, and the document, also as
// JSON text, gives back the very bytes; a report compared with itself differs nowhere.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "reader/report_diff.h"
#include "reader/report_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const Reading reading = ReadReport(bytes);
    if (WriteReport(reading.doc) != bytes) abort();
    if (WriteReport(Json::parse(reading.doc.dump())) != bytes) abort();
    if (!DiffReports(reading.doc, reading.doc).empty()) abort();
    if (reading.Whole() && !reading.report) abort();
    return 0;
}
