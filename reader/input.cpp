#include "reader/input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// A report is a few dozen kilobytes; this leaves room for very long platform texts.
const long long kLargestInput = 16 << 20;

}  // namespace

void Say(const std::string& message) { std::fprintf(stderr, "vindrel-report: %s\n", message.c_str()); }

bool ReadInput(const char* path, std::string& out) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        Say(std::string(path) + ": is a directory, not a file");
        return false;
    }
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        Say(std::string(path) + ": cannot be read: " + std::strerror(errno));
        return false;
    }
    out.clear();
    char buf[65536];
    size_t n;
    bool large = false;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        out.append(buf, n);
        if (static_cast<long long>(out.size()) > kLargestInput) {
            large = true;
            break;
        }
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        Say(std::string(path) + ": cannot be read: " + std::strerror(errno));
        return false;
    }
    if (large) {
        Say(std::string(path) + ": more than " + std::to_string(kLargestInput >> 20) +
            " MB, too large for a report");
        return false;
    }
    return true;
}

std::string NotAReport(const std::string& path, const std::string& bytes) {
    if (bytes.empty()) return path + ": empty, not a report";
    return path +
           ": not a Vindrel report: no line is a section heading (\"CPU\", \"DirectX\", \"OpenGL\", \"Memory\", "
           "\"Windows\")";
}

std::string NotWhole(const std::string& path, const Reading& reading) {
    const size_t n = reading.problems.size();
    return path + ": not a whole report (" + std::to_string(n) + (n == 1 ? " problem" : " problems") +
           "; vindrel-report check names them)";
}

std::string Problem(const std::string& path, const std::string& problem) {
    const bool numbered = !problem.empty() && problem[0] >= '0' && problem[0] <= '9';
    return path + (numbered ? ":" : ": ") + problem;
}

FileList::~FileList() {
    if (list_ && list_ != stdin) std::fclose(list_);
}

bool FileList::ListFrom(const char* list_path) {
    list_path_ = std::strcmp(list_path, "-") == 0 ? "standard input" : list_path;
    if (std::strcmp(list_path, "-") == 0) {
        list_ = stdin;
        return true;
    }
    list_ = std::fopen(list_path, "r");
    if (!list_) Say(std::string(list_path) + ": the list of files cannot be read: " + std::strerror(errno));
    return list_ != nullptr;
}

bool FileList::NextListed(std::string& path) {
    if (at_ < paths_.size()) {
        path = paths_[at_++];
        return true;
    }
    while (list_) {
        path.clear();
        char buf[4096];
        bool line = false;
        while (std::fgets(buf, sizeof buf, list_)) {
            line = true;
            path += buf;
            if (!path.empty() && path.back() == '\n') break;
        }
        if (!line) {
            // A folder opens as a file here and fails only when read.
            if (std::ferror(list_)) {
                Say(list_path_ + ": the list of files cannot be read: " + std::strerror(errno));
                failed_ = true;
            }
            if (list_ != stdin) std::fclose(list_);
            list_ = nullptr;
            break;
        }
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        if (!path.empty()) return true;
    }
    return false;
}

bool FileList::Next(std::string& path) {
    while (NextListed(path)) {
        std::error_code error;
        std::string same = std::filesystem::weakly_canonical(path, error).string();
        if (error) same = path;
        if (seen_.insert(same).second) {
            given_++;
            return true;
        }
        twice_++;
        Say(path + ": named again, read once");
    }
    return false;
}

int ReadEach(FileList& files, const std::function<void(const std::string& path, Reading&)>& use,
             const UnfitSaid& unfit, ReportObserver* observer) {
    int status = 0;
    std::string path, bytes;
    while (files.Next(path)) {
        if (!ReadInput(path.c_str(), bytes)) {
            files.Unread();
            status = 2;
            continue;
        }
        Reading reading = ReadReport(bytes, observer);
        if (reading.report && reading.Whole())
            ;
        else if (unfit)
            unfit(path, bytes, reading);
        else if (!reading.report)
            Say(NotAReport(path, bytes));
        else
            Say(NotWhole(path, reading));
        if (!reading.Whole()) status = std::max(status, 1);
        use(path, reading);
    }
    if (files.failed()) return 2;
    if (files.given() == 0) {
        Say("no files to read: the list is empty");
        return 2;
    }
    return status;
}
