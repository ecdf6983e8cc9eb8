// The hardware survey: shares of the fleet in bands, how many machines meet minimum
// requirements, the change since an earlier survey, and surveys of parts of a fleet added up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/input.h"
#include "reader/lines.h"

struct SurveyOptions {
    std::vector<std::string> requirements;  // --require, in the order given
    std::string previous;                   // --previous OLD.json; empty: none
    std::string html;                       // --html PAGE.html; empty: none
    std::string pci_ids;                    // --pci-ids FILE; empty: the system's list where there is one
    bool json = false;                      // --json: the survey document instead of text
};

// survey FILE... : exit 0, 1 when a report is not whole, 2 when a file cannot be
// read, none was named, or an option's value is refused (one line said).
int SurveyFleet(FileList& files, const SurveyOptions& options);
// survey --merge A.json B.json ...: the surveys of separate parts of a fleet added
// up, the same bytes as one survey of the whole. Exit 2 for a file that is not such
// a survey, or one from an incompatible version.
int MergeSurveys(const std::vector<std::string>& paths, const SurveyOptions& options);

// How every share is printed, in the text and on the page alike: "12.5 %".
std::string Percent(uint64_t count, uint64_t of);
// A change between two shares in percentage points: "+1.3 pp", "-0.4 pp", "0.0 pp".
std::string PointChange(uint64_t count, uint64_t of, uint64_t before, uint64_t before_of);
