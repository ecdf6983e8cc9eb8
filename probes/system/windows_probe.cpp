// The "Windows" section: version, directories, names and the Internet connection state.
// Its texts are frozen: stored reports and the tools that read them depend on every
// byte, so "Unkown" stays misspelt.
#include "probes/system/windows_probe.h"

#include <string.h>
#include <wininet.h>

#include "probes/probes.h"
#include "probes/system/system_text.h"
#include "report/format.h"

namespace {

enum { kTextSize = 4096 };
// OSVERSIONINFOA as the version query must be told its size.
const DWORD kVersionRecordSize = 148;
static_assert(sizeof(OSVERSIONINFOA) == kVersionRecordSize, "OSVERSIONINFOA size");

struct VersionLine {
    LineFormat<DWORD> format;
    DWORD OSVERSIONINFOA::*field;
};

const VersionLine kVersionLines[] = {
    {"Build:%d", &OSVERSIONINFOA::dwBuildNumber},
    {"Major:%d", &OSVERSIONINFOA::dwMajorVersion},
    {"Minor:%d", &OSVERSIONINFOA::dwMinorVersion},
};

struct TextLine {
    LineFormat<char*> format;
    void (*query)(const WindowsAnswers& answers, char* text, DWORD* size);
};

const TextLine kTextLines[] = {
    {"System Dir:%s", [](const WindowsAnswers& a, char* text, DWORD*) { a.getSystemDirectory(text, kTextSize); }},
    {"Windows Dir:%s", [](const WindowsAnswers& a, char* text, DWORD*) { a.getWindowsDirectory(text, kTextSize); }},
    {"Computer Name:%s",
     [](const WindowsAnswers& a, char* text, DWORD* size) {
         *size = kTextSize;
         a.getComputerName(text, size);
     }},
    {"User Name:%s",
     [](const WindowsAnswers& a, char* text, DWORD* size) {
         *size = kTextSize;
         a.getUserName(text, size);
     }},
};

int WINAPI NetworkMetric(int index) { return GetSystemMetrics(index); }

RealVersionQuery FindRealVersion() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll) return nullptr;
    return reinterpret_cast<RealVersionQuery>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
}

}  // namespace

const WindowsAnswers kThisWindows = {GetVersionExA,        FindRealVersion,  NetworkMetric,
                                     GetSystemDirectoryA,  GetWindowsDirectoryA, GetComputerNameA,
                                     GetUserNameA,         InternetGetConnectedState};

void WriteWindowsSection(HWND tree, ReportNode parent, const WindowsAnswers& answers) {
    // Cleared so that a failing query shows zeros and empty texts, never stale bytes.
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = kVersionRecordSize;
    answers.getVersion(&version);
    version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';
    // Only the three numbers: the service pack stays GetVersionExA's ANSI text.
    if (const RealVersionQuery realVersion = answers.findRealVersion()) {
        OSVERSIONINFOW real;
        memset(&real, 0, sizeof real);
        real.dwOSVersionInfoSize = sizeof real;
        if (realVersion(&real) == 0) {
            version.dwBuildNumber = real.dwBuildNumber;
            version.dwMajorVersion = real.dwMajorVersion;
            version.dwMinorVersion = real.dwMinorVersion;
        }
    }
    for (const VersionLine& line : kVersionLines) AddNodeFormatted(tree, parent, line.format, version.*line.field);
    AddNodeFormatted(tree, parent, "ServicePack:%s", version.szCSDVersion);

    AddNodeFormatted(tree, parent, "Network:0x%x", answers.getSystemMetrics(SM_NETWORK));

    char text[kTextSize];
    DWORD size = kTextSize;
    for (const TextLine& line : kTextLines) {
        memset(text, 0, sizeof text);
        line.query(answers, text, &size);
        text[kTextSize - 1] = '\0';
        AddNodeFormatted(tree, parent, line.format, text);
    }

    DWORD flags = 0;
    const BOOL connected = answers.getConnectedState(&flags, 0);
    AddNodeFormatted(tree, parent, "Connected to Internet:%s", TrueFalse(connected != FALSE));
    memset(text, 0, sizeof text);
    if (const char* name = ConnectionName(flags))
        FormatLine(text, sizeof text, "%s", name);
    else
        FormatLine(text, sizeof text, "Unkown 0x%x", flags);
    AddNodeFormatted(tree, parent, "Internet Connection:%s", text);
}

void ProbeWindows(HWND tree, ReportNode parent) { WriteWindowsSection(tree, parent, kThisWindows); }
