// The files a command reads: one by its name, and many from the command line and a
// list, each given once.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "reader/report_reader.h"

// A line on standard error, "vindrel-report: message".
void Say(const std::string& message);

// The whole file, or false (and said) for a directory, a file that cannot be read
// or one too large to be a report.
bool ReadInput(const char* path, std::string& out);

// Why a file read is no report, or is not a whole one, for one line on standard error.
std::string NotAReport(const std::string& path, const std::string& bytes);
std::string NotWhole(const std::string& path, const Reading& reading);
// One of check's lines: "PATH:12: expected ..." or "PATH: ends early ...".
std::string Problem(const std::string& path, const std::string& problem);

// The paths named on the command line, then those in a list file, one a line ("-":
// standard input), read as they are needed. A file named again, by any path, is
// given once, and the later name said.
class FileList {
public:
    explicit FileList(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;
    ~FileList();
    // False (and said) when the list file cannot be opened.
    bool ListFrom(const char* list_path);
    bool Next(std::string& path);
    size_t given() const { return given_; }
    size_t twice() const { return twice_; }
    size_t unread() const { return unread_; }
    void Unread() { unread_++; }
    // True once the list file failed part way (said when it did).
    bool failed() const { return failed_; }

private:
    bool NextListed(std::string& path);

    std::vector<std::string> paths_;
    size_t at_ = 0;
    FILE* list_ = nullptr;
    std::string list_path_;
    bool failed_ = false;
    std::unordered_set<std::string> seen_;
    size_t given_ = 0;
    size_t twice_ = 0;
    size_t unread_ = 0;
};

// Who hears that a file read is no report, or not a whole one; by default a line
// on standard error.
using UnfitSaid = std::function<void(const std::string& path, const std::string& bytes, const Reading&)>;

// Reads each file of the list in turn, says on standard error why one is not read
// (and to unfit why one is not whole), and hands on every one read, report or not.
// The exit status of the lot: 2 when one could not be read or none was named, 1
// when one is not whole. With an observer, the walk tells it of each report's fields
// and builds no document.
int ReadEach(FileList& files, const std::function<void(const std::string& path, Reading&)>& use,
             const UnfitSaid& unfit = nullptr, ReportObserver* observer = nullptr);
