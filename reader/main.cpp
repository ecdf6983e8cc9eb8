// vindrel-report: checks, converts and compares the program's stats.txt files.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "reader/fleet.h"
#include "reader/input.h"
#include "reader/report_diff.h"
#include "reader/report_reader.h"
#include "reader/survey.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kUsage[] =
    "usage: vindrel-report check FILE          says whether FILE is a whole, well-formed report\n"
    "       vindrel-report json FILE           prints the report as one JSON document\n"
    "       vindrel-report json FILE... [--files-from LIST]\n"
    "                                          one JSON document a line, each with its \"file\"\n"
    "       vindrel-report summary [--json] FILE... [--files-from LIST]\n"
    "                                          what the reports have in common, counted\n"
    "       vindrel-report text FILE.json      writes the report's original bytes back\n"
    "       vindrel-report diff [--clock-tolerance PERCENT] A B\n"
    "                                          what differs between two reports, place by place\n"
    "LIST names files one a line; \"-\" reads it from standard input.\n"
    "Exit: 0 as expected, 1 a report that is not whole, or differences, 2 an input that cannot be read.\n"
    "Texts travel in JSON as Latin-1: each byte is the code point of the same number.\n";

int Check(const char* path) {
    std::string bytes;
    if (!ReadInput(path, bytes)) return 2;
    const Reading reading = ReadReport(bytes);
    if (!reading.report) {
        std::printf("%s\n", NotAReport(path, bytes).c_str());
        return 1;
    }
    for (const std::string& problem : reading.problems) {
        const bool numbered = !problem.empty() && problem[0] >= '0' && problem[0] <= '9';
        std::printf("%s:%s%s\n", path, numbered ? "" : " ", problem.c_str());
    }
    return reading.Whole() ? 0 : 1;
}

int ToJson(const char* path) {
    std::string bytes;
    if (!ReadInput(path, bytes)) return 2;
    const Reading reading = ReadReport(bytes);
    const std::string text = reading.doc.dump(2) + "\n";
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

int Diff(int argc, char** argv) {
    double tolerance = kDefaultClockTolerancePercent;
    const char* paths[2];
    int count = 0;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        if (arg == "--clock-tolerance" && i + 1 < argc) {
            value = argv[++i];
        } else if (arg.rfind("--clock-tolerance=", 0) == 0) {
            value = arg.substr(std::strlen("--clock-tolerance="));
        } else if (count < 2 && (arg.empty() || arg[0] != '-' || arg == "-")) {
            paths[count++] = argv[i];
            continue;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
        char* end = nullptr;
        tolerance = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(tolerance >= 0)) {
            Say("--clock-tolerance takes a percentage, such as 3 or 0.5: " + value);
            return 2;
        }
    }
    if (count != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Json docs[2];
    for (int i = 0; i < 2; ++i) {
        std::string bytes;
        if (!ReadInput(paths[i], bytes)) return 2;
        Reading reading = ReadReport(bytes);
        if (!reading.report) {
            Say(NotAReport(paths[i], bytes));
            return 2;
        }
        docs[i] = std::move(reading.doc);
    }
    const std::vector<std::string> lines = DiffReports(docs[0], docs[1], tolerance);
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return lines.empty() ? 0 : 1;
}

int ToJsonLines(FileList& files) {
    return ReadEach(files, [](const std::string& path, Reading& reading) {
        Json line = Json::object();
        line["file"] = path;
        for (auto& member : reading.doc.items()) line[member.key()] = std::move(member.value());
        // A file name that is not UTF-8 cannot travel as it is.
        const std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
    });
}

int Summarize(FileList& files, bool as_json) {
    FleetSummary summary;
    const int status = ReadEach(files, [&](const std::string&, Reading& reading) { summary.Add(reading); });
    summary.Unread(files.unread(), files.twice());
    const std::string text = as_json ? summary.ToJson().dump(2) + "\n" : summary.Text();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return status;
}

// "json" and "summary": files named and listed; one named file alone keeps json's
// single document.
int Many(int argc, char** argv) {
    const bool summary = std::strcmp(argv[1], "summary") == 0;
    std::vector<std::string> paths;
    const char* list = nullptr;
    bool as_json = false, options = true;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--files-from" && i + 1 < argc && !list) {
            list = argv[++i];
        } else if (options && arg.rfind("--files-from=", 0) == 0 && !list) {
            list = argv[i] + std::strlen("--files-from=");
        } else if (options && summary && arg == "--json") {
            as_json = true;
        } else if (options && arg.rfind("--", 0) == 0) {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.empty() && !list) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!summary && paths.size() == 1 && !list) return ToJson(paths[0].c_str());
    FileList files(std::move(paths));
    if (list && !files.ListFrom(list)) return 2;
    return summary ? Summarize(files, as_json) : ToJsonLines(files);
}

// "survey": files named and listed, or --merge of earlier surveys.
int Survey(int argc, char** argv) {
    SurveyOptions options;
    std::vector<std::string> paths;
    const char* list = nullptr;
    bool merge = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--json") options.json = true;
        else if (arg == "--merge") merge = true;
        else if (arg == "--files-from" && has_value) list = argv[++i];
        else if (arg == "--require" && has_value) options.requirements.push_back(argv[++i]);
        else if (arg == "--previous" && has_value) options.previous = argv[++i];
        else if (arg == "--html" && has_value) options.html = argv[++i];
        else if (arg == "--pci-ids" && has_value) options.pci_ids = argv[++i];
        else if (arg.rfind("--", 0) == 0) {
            std::fputs(kUsage, stderr);
            return 2;
        } else paths.push_back(arg);
    }
    if (merge) return MergeSurveys(paths, options);
    FileList files(std::move(paths));
    if (list && !files.ListFrom(list)) return 2;
    return SurveyFleet(files, options);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // "text" writes the report's bytes: no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const std::string command = argc > 1 ? argv[1] : "";
    int status = 2;
    if (command == "check" && argc == 3)
        status = Check(argv[2]);
    else if (command == "json" || command == "summary")
        status = Many(argc, argv);
    else if (command == "survey")
        status = Survey(argc, argv);
    else if (command == "text" && argc == 3)
        status = ToText(argv[2]);
    else if (command == "diff")
        status = Diff(argc, argv);
    else if (command == "-h" || command == "--help" || command == "help")
        return std::fputs(kUsage, stdout) < 0 ? 2 : 0;
    else
        std::fputs(kUsage, stderr);
    if (std::fflush(stdout) != 0) {
        Say(std::string("cannot write the output: ") + std::strerror(errno));
        return 2;
    }
    return status;
}
