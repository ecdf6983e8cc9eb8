// What many reports have in common, gathered one report at a time: on how many each
// checklist name is present, each few-valued field's values with the number of
// reports that hold each, and the spread of the numbers. Only counts are kept.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "reader/report_reader.h"

// Read each report with ReadReport(bytes, &summary), then Add its reading: the walk
// tells the summary of the report's fields, Add counts them with the report.
class FleetSummary : public ReportObserver {
public:
    FleetSummary();
    void Take(const Row& row, const LineValue& value, size_t item) override;
    // One file read: a report, whole or not, or a file that is no report.
    void Add(const Reading& reading);
    // Files named that could not be read, and names of a file given again.
    void Unread(size_t files, size_t twice) {
        not_read_ = files;
        twice_ = twice;
    }
    // Plain text, one fact a line, the fields in the report's order and their values
    // sorted, so that two summaries diff cleanly.
    std::string Text() const;
    Json ToJson() const;

private:
    uint64_t reports_ = 0, not_whole_ = 0, not_reports_ = 0, not_read_ = 0, twice_ = 0;
    uint64_t checklist_read_ = 0;
    std::vector<uint64_t> present_;                 // by checklist row
    std::vector<std::map<Json, uint64_t>> values_;  // by field: reports holding each value
    std::vector<uint64_t> none_;                    // by field: reports holding no value
    // By field: how often each number was seen, which gives the median without
    // keeping one entry a report where machines share values.
    std::vector<std::map<double, uint64_t>> numbers_;

    // The report being read, until Add counts it.
    std::vector<std::vector<Json>> held_;       // by field: its values
    std::vector<std::vector<double>> seen_;     // by field: its numbers
    std::vector<size_t> present_now_;           // checklist rows present
    bool checklist_now_ = false;
};
