// vindrel-report: checks, converts and compares the program's stats.txt files.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "reader/fleet.h"
#include "reader/input.h"
#include "reader/json_text.h"
#include "reader/report_diff.h"
#include "reader/report_reader.h"
#include "reader/survey.h"
#include "reader_version.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kUsage[] =
    "usage: vindrel-report check FILE... [--files-from LIST]\n"
    "                                          says whether each FILE is a whole, well-formed report\n"
    "       vindrel-report json FILE           prints the report as one JSON document\n"
    "       vindrel-report json FILE... [--files-from LIST]\n"
    "                                          one JSON document a line, each with its \"file\"\n"
    "       vindrel-report text FILE.json      writes the report's original bytes back\n"
    "       vindrel-report diff [--clock-tolerance PERCENT] A B\n"
    "                                          what differs between two reports, place by place\n"
    "       vindrel-report summary [--json] FILE... [--files-from LIST]\n"
    "                                          what the reports have in common, counted\n"
    "       vindrel-report survey [--json] [--require EXPR]... [--previous OLD.json] [--html PAGE.html]\n"
    "                             [--pci-ids FILE] FILE... [--files-from LIST]\n"
    "                                          the fleet's shares in bands, and how many meet EXPR\n"
    "       vindrel-report survey --merge [--json] [--html PAGE.html] A.json B.json...\n"
    "                                          surveys of parts of a fleet added up\n"
    "       vindrel-report --version | --help\n"
    "LIST names files one a line; \"-\" reads it from standard input.\n"
    "Exit: 0 as expected, 1 a report that is not whole, or differences, 2 an input that cannot be read\n"
    "or a command line that is not understood.\n"
    "Texts travel in JSON as Latin-1: each byte is the code point of the same number.\n";

const char kSeeHelp[] = " (vindrel-report --help shows the usage)";

// The command line of every verb has one shape: options (each "--name VALUE" or
// "--name=VALUE"), and operands, in any order; "--" ends the options.
enum class Takes { Nothing, Value, Values };

struct OptionRow {
    const char* name;
    Takes takes;
};

struct VerbSpec {
    const char* name;
    std::vector<OptionRow> options;
    size_t fewest, most;  // operands; with --files-from none is needed
    const char* operands; // as the usage names them
};

const size_t kMany = SIZE_MAX;

const VerbSpec kVerbs[] = {
    {"check", {{"--files-from", Takes::Value}}, 1, kMany, "FILE..."},
    {"json", {{"--files-from", Takes::Value}}, 1, kMany, "FILE..."},
    {"text", {}, 1, 1, "FILE.json"},
    {"diff", {{"--clock-tolerance", Takes::Value}}, 2, 2, "A B"},
    {"summary", {{"--files-from", Takes::Value}, {"--json", Takes::Nothing}}, 1, kMany, "FILE..."},
    {"survey",
     {{"--files-from", Takes::Value}, {"--json", Takes::Nothing}, {"--require", Takes::Values},
      {"--previous", Takes::Value}, {"--html", Takes::Value}, {"--pci-ids", Takes::Value}, {"--merge", Takes::Nothing}},
     1, kMany, "FILE..."},
};

struct CommandLine {
    const VerbSpec* verb = nullptr;
    std::map<std::string, std::vector<std::string>> given;  // by option: its values ("" for a flag)
    std::vector<std::string> operands;
    bool help = false, version = false;

    bool Has(const char* option) const { return given.count(option) != 0; }
    const char* Value(const char* option) const { return Has(option) ? given.at(option).back().c_str() : nullptr; }
};

std::string Quoted(const std::string& text) { return "\"" + Excerpt(text, 80) + "\""; }

std::string Counted(size_t n) {
    static const char* const kWords[] = {"none", "one", "two"};
    return n < 3 ? kWords[n] : std::to_string(n);
}

// Fills line from argv; the one line that says what is wrong, or "" when it is understood.
std::string Parse(int argc, char** argv, CommandLine& line) {
    if (argc < 2) return "no command given (vindrel-report --help lists them)";
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") return line.help = true, "";
    if (first == "--version") return line.version = true, "";
    for (const VerbSpec& verb : kVerbs)
        if (first == verb.name) line.verb = &verb;
    if (!line.verb) {
        if (first.rfind("-", 0) == 0) return "unknown option " + Quoted(first) + " (vindrel-report --help lists them)";
        return "unknown command " + Quoted(first) + " (vindrel-report --help lists them)";
    }
    const VerbSpec& verb = *line.verb;
    const std::string name = verb.name;
    bool options = true;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options || arg == "-" || arg.empty() || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options = false;
            continue;
        }
        if (arg == "--help" || arg == "-h") return line.help = true, "";
        const size_t equals = arg.find('=');
        const std::string option = arg.substr(0, equals);
        const OptionRow* known = nullptr;
        for (const OptionRow& o : verb.options)
            if (option == o.name) known = &o;
        if (!known) return name + ": unknown option " + Quoted(option) + " (vindrel-report --help lists them)";
        std::string value;
        if (known->takes == Takes::Nothing) {
            if (equals != std::string::npos) return name + ": " + option + " takes no value" + kSeeHelp;
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return name + ": " + option + " needs a value" + kSeeHelp;
        }
        if (known->takes != Takes::Values && line.Has(known->name))
            return name + ": " + option + " given twice" + kSeeHelp;
        line.given[known->name].push_back(value);
    }
    const size_t count = line.operands.size();
    const bool listed = line.Has("--files-from");
    if (line.Has("--merge") && listed) return name + ": --merge takes the surveys named, not --files-from" + kSeeHelp;
    if (line.Has("--merge") && count == 0) return name + ": --merge needs the surveys to add, A.json B.json..." + kSeeHelp;
    if (count < verb.fewest && !listed) {
        if (verb.most == kMany)
            return name + ": no file named: give " + verb.operands + " or --files-from LIST" + kSeeHelp;
        return name + ": " + Counted(verb.fewest) + (verb.fewest == 1 ? " file" : " files") + " expected (" +
               verb.operands + "), " + Counted(count) + " given" + kSeeHelp;
    }
    if (count > verb.most)
        return name + ": " + Counted(verb.most) + (verb.most == 1 ? " file" : " files") + " expected (" +
               verb.operands + "), " + std::to_string(count) + " given: " + Quoted(line.operands[verb.most]) +
               " is one too many" + kSeeHelp;
    return "";
}

// One report alone: every problem, a line each.
int CheckOne(const char* path) {
    std::string bytes;
    if (!ReadInput(path, bytes)) return 2;
    const Reading reading = ReadReport(bytes);
    if (!reading.report) {
        std::printf("%s\n", NotAReport(path, bytes).c_str());
        return 1;
    }
    for (const std::string& problem : reading.problems) std::printf("%s\n", Problem(path, problem).c_str());
    return reading.Whole() ? 0 : 1;
}

// Many: one line a bad report, its first problem and how many follow.
int CheckMany(FileList& files) {
    return ReadEach(
        files, [](const std::string&, Reading&) {},
        [](const std::string& path, const std::string& bytes, const Reading& reading) {
            if (!reading.report) {
                std::printf("%s\n", NotAReport(path, bytes).c_str());
                return;
            }
            std::string line = Problem(path, reading.problems.front());
            const size_t more = reading.problems.size() - 1;
            if (more) line += " (and " + std::to_string(more) + " more: vindrel-report check " + path + ")";
            std::printf("%s\n", line.c_str());
        });
}

int ToJson(const char* path) {
    std::string bytes;
    if (!ReadInput(path, bytes)) return 2;
    const Reading reading = ReadReport(bytes);
    const std::string text = JsonText(reading.doc, 2) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!reading.report) {
        Say(NotAReport(path, bytes));
        return 1;
    }
    if (!reading.Whole()) {
        Say(NotWhole(path, reading));
        return 1;
    }
    return 0;
}

int ToText(const char* path) {
    std::string bytes;
    if (!ReadInput(path, bytes)) return 2;
    Json doc;
    try {
        doc = Json::parse(bytes);
    } catch (const std::exception& e) {
        Say(std::string(path) + ": not JSON: " + e.what());
        return 1;
    }
    std::string report;
    try {
        report = WriteReport(doc);
    } catch (const std::exception& e) {
        Say(std::string(path) + ": not a report document: " + e.what());
        return 1;
    }
    std::fwrite(report.data(), 1, report.size(), stdout);
    return 0;
}

int Diff(const CommandLine& line) {
    double tolerance = kDefaultClockTolerancePercent;
    if (const char* value = line.Value("--clock-tolerance")) {
        char* end = nullptr;
        tolerance = std::strtod(value, &end);
        if (!*value || *end != '\0' || !(tolerance >= 0) || !std::isfinite(tolerance)) {
            Say(std::string("diff: --clock-tolerance takes a percentage, such as 3 or 0.5: ") + value);
            return 2;
        }
    }
    Json docs[2];
    for (int i = 0; i < 2; ++i) {
        const char* path = line.operands[i].c_str();
        std::string bytes;
        if (!ReadInput(path, bytes)) return 2;
        Reading reading = ReadReport(bytes);
        if (!reading.report) {
            Say(NotAReport(path, bytes));
            return 2;
        }
        docs[i] = std::move(reading.doc);
    }
    const std::vector<std::string> lines = DiffReports(docs[0], docs[1], tolerance);
    for (const std::string& text : lines) std::printf("%s\n", text.c_str());
    return lines.empty() ? 0 : 1;
}

int ToJsonLines(FileList& files) {
    return ReadEach(files, [](const std::string& path, Reading& reading) {
        Json line = Json::object();
        line["file"] = path;
        for (auto& member : reading.doc.items()) line[member.key()] = std::move(member.value());
        // A file name that is not UTF-8 cannot travel as it is.
        const std::string text = JsonText(line, -1, Json::error_handler_t::replace) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
    });
}

int Summarize(FileList& files, bool as_json) {
    FleetSummary summary;
    const int status =
        ReadEach(files, [&](const std::string&, Reading& reading) { summary.Add(reading); }, nullptr, &summary);
    summary.Unread(files.unread(), files.twice());
    const std::string text = as_json ? summary.ToJson().dump(2) + "\n" : summary.Text();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return status;
}

int Survey(const CommandLine& line, FileList& files) {
    SurveyOptions options;
    options.json = line.Has("--json");
    if (line.Has("--require")) options.requirements = line.given.at("--require");
    if (line.Has("--previous")) options.previous = line.Value("--previous");
    if (line.Has("--html")) options.html = line.Value("--html");
    if (line.Has("--pci-ids")) options.pci_ids = line.Value("--pci-ids");
    if (line.Has("--merge")) return MergeSurveys(line.operands, options);
    return SurveyFleet(files, options);
}

int Run(const CommandLine& line) {
    const std::string verb = line.verb->name;
    if (verb == "text") return ToText(line.operands[0].c_str());
    if (verb == "diff") return Diff(line);
    const char* list = line.Value("--files-from");
    // One file named alone keeps the one-report output of check and json.
    if (!list && line.operands.size() == 1) {
        if (verb == "check") return CheckOne(line.operands[0].c_str());
        if (verb == "json") return ToJson(line.operands[0].c_str());
    }
    FileList files(verb == "survey" && line.Has("--merge") ? std::vector<std::string>() : line.operands);
    if (list && !files.ListFrom(list)) return 2;
    if (verb == "check") return CheckMany(files);
    if (verb == "json") return ToJsonLines(files);
    if (verb == "summary") return Summarize(files, line.Has("--json"));
    return Survey(line, files);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // "text" writes the report's bytes: no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    CommandLine line;
    const std::string wrong = Parse(argc, argv, line);
    if (!wrong.empty()) {
        Say(wrong);
        return 2;
    }
    int status = 0;
    if (line.help)
        std::fputs(kUsage, stdout);
    else if (line.version)
        std::printf("vindrel-report %s\n", VINDREL_REPORT_VERSION);
    else
        status = Run(line);
    // A write that failed earlier leaves the stream's error flag and nothing to flush.
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed || std::ferror(stdout)) {
        Say(std::string("cannot write the output") + (flushed ? "" : std::string(": ") + std::strerror(errno)));
        return 2;
    }
    return status;
}
