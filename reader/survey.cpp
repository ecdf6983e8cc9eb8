// survey: the fleet counted by survey_count.cpp as one document, which the text,
// the page, --previous and --merge all read; surveys of parts added up.
#include "reader/survey.h"

#include <algorithm>
#include <cstdlib>

#include "reader/json_text.h"
#include "reader/survey_count.h"
#include "reader/survey_page.h"

namespace {

const char* const kSurveyFormat = "vindrel survey";
const int kSurveyVersion = 1;

// Tenths of a percent, rounded half up, in integers: the same on every build.
int64_t Tenths(uint64_t count, uint64_t of) {
    if (of == 0) return 0;
    return static_cast<int64_t>((2000 * count + of) / (2 * of));
}

std::string TenthsText(int64_t tenths) {
    const int64_t whole = tenths < 0 ? -tenths : tenths;
    return (tenths < 0 ? "-" : "") + std::to_string(whole / 10) + "." + std::to_string(whole % 10);
}

// The counts of an earlier survey, by category name and label.
struct Before {
    uint64_t reports = 0;
    std::map<std::string, std::pair<uint64_t, std::map<std::string, uint64_t>>> categories;  // of, rows
};

uint64_t Number(const Json& object, const char* key) {
    const Json& v = object.at(key);
    if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<int64_t>() >= 0))
        throw std::invalid_argument(std::string("\"") + key + "\" is not a count");
    return v.get<uint64_t>();
}

// Reads path as a survey document: false, said in one line, when it is none of ours.
bool ReadSurveyDocument(const std::string& path, Json& doc) {
    std::string bytes;
    if (!ReadInput(path.c_str(), bytes)) return false;
    try {
        doc = Json::parse(bytes);
    } catch (const std::exception&) {
        Say(path + ": not a survey: not JSON (survey --json writes one)");
        return false;
    }
    if (!doc.is_object() || !doc.contains("format") || doc["format"] != kSurveyFormat) {
        Say(path + ": not a survey: no \"format\": \"" + kSurveyFormat + "\" (survey --json writes one)");
        return false;
    }
    if (!doc.contains("version") || doc["version"] != kSurveyVersion) {
        const std::string version = doc.contains("version") ? doc["version"].dump() : "none";
        Say(path + ": a survey of version " + version + "; this vindrel-report reads version " +
            std::to_string(kSurveyVersion));
        return false;
    }
    return true;
}

bool ReadBefore(const std::string& path, Before& before) {
    Json doc;
    if (!ReadSurveyDocument(path, doc)) return false;
    try {
        before.reports = Number(doc, "reports");
        for (const Json& category : doc.at("categories")) {
            auto& entry = before.categories[category.at("name").get<std::string>()];
            entry.first = Number(category, "of");
            for (const Json& row : category.at("rows")) entry.second[row.at("label").get<std::string>()] += Number(row, "count");
        }
    } catch (const std::exception& e) {
        Say(path + ": not a survey as survey --json writes it: " + e.what());
        return false;
    }
    return true;
}

// The counts of a part, added to counts. The first part's --require list is the
// one every other part must have been made with.
bool AddSurvey(const std::string& path, SurveyCounts& counts, bool first) {
    Json doc;
    if (!ReadSurveyDocument(path, doc)) return false;
    try {
        Number(doc, "files");  // the sum of the three below
        counts.reports += Number(doc, "reports");
        counts.not_whole += Number(doc, "not_whole");
        counts.not_reports += Number(doc, "not_reports");
        counts.not_read += Number(doc, "not_read");
        counts.named_again += Number(doc, "named_again");
        for (const Json& category : doc.at("categories")) {
            Category c;
            const std::string name = category.at("name").get<std::string>();
            if (!CategoryNamed(name, &c)) throw std::invalid_argument("no category \"" + name + "\" in this version");
            Tally& tally = counts.tallies[static_cast<size_t>(c)];
            for (const Json& row : category.at("rows")) {
                const std::string label = row.at("label").get<std::string>();
                const uint64_t n = Number(row, "count");
                if (label == "unknown")
                    tally.unknown += n;
                else if (n)
                    tally.rows[label] += n;
            }
            const char* member = Info(c).counts;
            if (!member) continue;
            for (const Json& value : doc.at("counts").at(member)) {
                const std::string text = value.at(0).get<std::string>();
                counts.histograms[static_cast<size_t>(c)].Add(std::strtod(text.c_str(), nullptr), text,
                                                              value.at(1).get<uint64_t>());
            }
        }
        const Json& extensions = doc.at("extensions");
        counts.checklist_of += Number(extensions, "of");
        const Json& names = extensions.at("names");
        if (names.size() != rows::ChecklistSize()) throw std::invalid_argument("not the checklist of this version");
        for (size_t k = 0; k < names.size(); ++k) {
            if (names[k].at("name") != RowKey(rows::ChecklistRows()[k]))
                throw std::invalid_argument("not the checklist of this version");
            counts.present[k] += Number(names[k], "count");
        }
        std::vector<std::string> expressions;
        if (doc.contains("require"))
            for (const Json& r : doc["require"].at("requirements")) expressions.push_back(r.at("expression"));
        std::vector<std::string> known;
        for (const Requirement& r : counts.requirements) known.push_back(r.expression);
        if (first) {
            for (const std::string& expression : expressions) {
                Requirement r;
                std::string error;
                if (!ParseRequirement(expression, &r, &error)) throw std::invalid_argument(error);
                counts.requirements.push_back(r);
            }
            counts.judged.assign(counts.requirements.size(), RequirementTally());
        } else if (expressions != known) {
            Say(path + ": made with other --require options than the first survey; survey every part with the "
                       "same ones");
            return false;
        }
        if (!expressions.empty()) {
            const Json& require = doc["require"];
            counts.meets += Number(require, "meets");
            for (size_t i = 0; i < expressions.size(); ++i) {
                const Json& r = require["requirements"][i];
                counts.judged[i].fails += Number(r, "fails");
                counts.judged[i].fails_only += Number(r, "fails_only");
                counts.judged[i].unknown += Number(r, "unknown");
            }
        }
    } catch (const std::exception& e) {
        Say(path + ": not a survey as survey --json writes it: " + e.what());
        return false;
    }
    return true;
}

Json Histogram(const Histogram& histogram) {
    Json out = Json::array();
    for (const auto& entry : histogram.values) out.push_back(Json::array({entry.second.first, entry.second.second}));
    return out;
}

Json Document(const SurveyCounts& counts, const Before* before) {
    Json doc = Json::object();
    doc["format"] = kSurveyFormat;
    doc["version"] = kSurveyVersion;
    doc["files"] = counts.reports + counts.not_reports + counts.not_read;
    doc["reports"] = counts.reports;
    doc["not_whole"] = counts.not_whole;
    doc["not_reports"] = counts.not_reports;
    doc["not_read"] = counts.not_read;
    doc["named_again"] = counts.named_again;
    Json& categories = doc["categories"] = Json::array();
    for (size_t c = 0; c < kCategoryCount; ++c) {
        const Category category = static_cast<Category>(c);
        const CategoryInfo& info = Info(category);
        const Tally& tally = counts.tallies[c];
        Json out = Json::object();
        out["name"] = info.name;
        out["of"] = counts.reports;
        if (const std::string* median = counts.histograms[c].Median())
            out["median"] = *median + (*info.unit ? std::string(" ") + info.unit : "");
        if (info.note) out["note"] = info.note;
        const std::pair<uint64_t, std::map<std::string, uint64_t>>* was = nullptr;
        if (before) {
            const auto it = before->categories.find(info.name);
            if (it != before->categories.end()) was = &it->second;
            out["before_of"] = was ? was->first : 0;
        }
        std::map<std::string, uint64_t> rows = tally.rows;
        if (was)
            for (const auto& entry : was->second)
                if (entry.first != "unknown") rows.emplace(entry.first, 0);
        std::vector<std::pair<std::string, uint64_t>> ordered(rows.begin(), rows.end());
        std::stable_sort(ordered.begin(), ordered.end(), [&](const auto& a, const auto& b) {
            if (info.banded) return BandOrder(category, a.first) < BandOrder(category, b.first);
            return a.second > b.second;  // labels already in order among equal counts
        });
        const uint64_t unknown_before = was && was->second.count("unknown") ? was->second.at("unknown") : 0;
        if (tally.unknown || unknown_before) ordered.emplace_back("unknown", tally.unknown);
        Json& list = out["rows"] = Json::array();
        for (const auto& [label, count] : ordered) {
            Json row = Json::object();
            row["label"] = label;
            row["count"] = count;
            if (before) {
                uint64_t then = 0;
                if (was && was->second.count(label)) then = was->second.at(label);
                row["before"] = then;
            }
            list.push_back(std::move(row));
        }
        categories.push_back(std::move(out));
    }
    Json& extensions = doc["extensions"] = Json::object();
    extensions["of"] = counts.checklist_of;
    Json& names = extensions["names"] = Json::array();
    for (size_t k = 0; k < counts.present.size(); ++k)
        names.push_back(Json{{"name", RowKey(rows::ChecklistRows()[k])}, {"count", counts.present[k]}});
    if (!counts.requirements.empty()) {
        Json& require = doc["require"] = Json::object();
        require["of"] = counts.reports;
        require["meets"] = counts.meets;
        Json& list = require["requirements"] = Json::array();
        for (size_t r = 0; r < counts.requirements.size(); ++r)
            list.push_back(Json{{"expression", counts.requirements[r].expression},
                                {"fails", counts.judged[r].fails},
                                {"fails_only", counts.judged[r].fails_only},
                                {"unknown", counts.judged[r].unknown}});
    }
    if (before) doc["previous"] = Json{{"reports", before->reports}};
    Json& exact = doc["counts"] = Json::object();
    for (size_t c = 0; c < kCategoryCount; ++c)
        if (const char* member = Info(static_cast<Category>(c)).counts) exact[member] = Histogram(counts.histograms[c]);
    return doc;
}

// "3 of 16 (18.8 %)", or with a change "3 of 16 (18.8 %, -1.2 pp)".
std::string Share(uint64_t count, uint64_t of, const std::string& change = "") {
    return std::to_string(count) + " of " + std::to_string(of) + " (" + Percent(count, of) +
           (change.empty() ? "" : ", " + change) + ")";
}

// The text survey: the document's numbers in its order, one row a line.
std::string Text(const Json& doc) {
    std::string out;
    auto line = [&](const std::string& text) { out += text + "\n"; };
    line("files: " + doc["files"].dump());
    line("reports: " + doc["reports"].dump());
    line("reports not whole: " + doc["not_whole"].dump());
    line("files not reports: " + doc["not_reports"].dump());
    line("files not read: " + doc["not_read"].dump());
    line("names of a file given again: " + doc["named_again"].dump());
    const bool compared = doc.contains("previous");
    for (const Json& category : doc["categories"]) {
        line("");
        const std::string name = category["name"];
        const uint64_t of = category["of"];
        if (category.contains("median")) line(name + ": median " + category["median"].get<std::string>());
        for (const Json& row : category["rows"]) {
            const uint64_t count = row["count"];
            const std::string change = compared ? PointChange(count, of, row["before"], category["before_of"]) : "";
            line(name + ": " + row["label"].get<std::string>() + ": " + Share(count, of, change));
        }
    }
    line("");
    const Json& extensions = doc["extensions"];
    const uint64_t of = extensions["of"];
    line("OpenGL extensions: the checklist in " + Share(of, doc["reports"]));
    for (const Json& name : extensions["names"])
        line("OpenGL extensions: " + name["name"].get<std::string>() + ": " + Share(name["count"], of));
    if (doc.contains("require")) {
        const Json& require = doc["require"];
        const uint64_t reports = require["of"];
        line("");
        line("require: meets all: " + Share(require["meets"], reports));
        for (const Json& r : require["requirements"])
            line("require: " + r["expression"].get<std::string>() + ": fails " + Share(r["fails"], reports) +
                 ", fails only it " + r["fails_only"].dump() + ", unknown " + r["unknown"].dump());
    }
    if (compared) {
        line("");
        line("previous: " + doc["previous"]["reports"].dump() + " reports");
    }
    return out;
}

// What every survey ends with: the page, then the survey on standard output.
int Finish(SurveyCounts& counts, const SurveyOptions& options, int status) {
    Before before;
    if (!options.previous.empty() && !ReadBefore(options.previous, before)) return 2;
    for (size_t r = 0; r < counts.requirements.size(); ++r)
        if (counts.reports && counts.judged[r].unknown == counts.reports) {
            Say("--require \"" + counts.requirements[r].expression +
                "\": no report holds this field, so every one counts as failing it");
            status = std::max(status, 1);
        }
    const Json doc = Document(counts, options.previous.empty() ? nullptr : &before);
    if (!options.html.empty()) {
        std::string error;
        if (!WriteFileWhole(options.html, SurveyPage(doc), &error)) {
            Say(error);
            return 2;
        }
    }
    const std::string text =
        options.json ? JsonText(doc, 2, Json::error_handler_t::replace) + "\n" : Text(doc);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return status;
}

}  // namespace

std::string Percent(uint64_t count, uint64_t of) { return TenthsText(Tenths(count, of)) + " %"; }

std::string PointChange(uint64_t count, uint64_t of, uint64_t before, uint64_t before_of) {
    // The difference of the two shares as shown, so the change adds up with them.
    const int64_t d = Tenths(count, of) - Tenths(before, before_of);
    return (d > 0 ? "+" : "") + TenthsText(d) + " pp";
}

int SurveyFleet(FileList& files, const SurveyOptions& options) {
    std::vector<Requirement> requirements;
    for (const std::string& text : options.requirements) {
        Requirement r;
        std::string error;
        if (!ParseRequirement(text, &r, &error)) {
            Say(error);
            return 2;
        }
        requirements.push_back(r);
    }
    // Refused before the fleet is read: a previous survey that is none, or a page
    // that cannot be written, should not cost a pass over the fleet.
    if (!options.previous.empty()) {
        Before before;
        if (!ReadBefore(options.previous, before)) return 2;
    }
    PciDeviceNames devices;
    std::string error;
    if (!options.pci_ids.empty()) {
        if (!devices.Load(options.pci_ids, &error)) {
            Say(error);
            return 2;
        }
    } else if (!DefaultPciIdsPath().empty()) {
        devices.Load(DefaultPciIdsPath(), &error);  // names where the system has them
    }
    SurveyCounts counts(&devices, requirements);
    int status = ReadEach(files, [&](const std::string&, Reading& reading) { counts.Add(reading); }, nullptr, &counts);
    if (files.given() == 0) return status;
    counts.not_read = files.unread();
    counts.named_again = files.twice();
    if (counts.reports == 0) {
        Say("survey: no report among the " + std::to_string(files.given()) + " files named");
        return 2;
    }
    return Finish(counts, options, status);
}

int MergeSurveys(const std::vector<std::string>& paths, const SurveyOptions& options) {
    if (paths.empty()) {
        Say("survey --merge: name the surveys to add (each written by survey --json)");
        return 2;
    }
    if (!options.requirements.empty()) {
        Say("survey --merge: --require is judged on reports, so give it to the survey of each part");
        return 2;
    }
    SurveyCounts counts(nullptr, {});
    for (size_t i = 0; i < paths.size(); ++i)
        if (!AddSurvey(paths[i], counts, i == 0)) return 2;
    if (counts.reports == 0) {
        Say("survey --merge: the surveys hold no report");
        return 2;
    }
    return Finish(counts, options, counts.not_read ? 2 : counts.not_whole ? 1 : 0);
}
