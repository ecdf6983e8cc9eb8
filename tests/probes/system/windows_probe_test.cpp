#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probes/system/system_text.h"
#include "probes/system/windows_probe.h"
#include "support/test_report.h"

namespace {

// What the crafted platform answers; a null text means the query fails and writes nothing.
struct Platform {
    DWORD build = 2600, major = 5, minor = 1;
    const char* servicePack = "Service Pack 3";
    bool versionFails = false;
    // RtlGetVersion: absent (Windows 9x) unless set; a nonzero status is a failure.
    bool hasRealVersion = false;
    DWORD realBuild = 19045, realMajor = 10, realMinor = 0;
    LONG realStatus = 0;
    int network = 3;
    const char* systemDir = "C:\\WINDOWS\\system32";
    const char* windowsDir = "C:\\WINDOWS";
    const char* computer = "WORKSTATION";
    const char* user = "Administrator";
    BOOL connected = TRUE;
    DWORD flags = 2;
    bool flagsUntouched = false;
};

Platform platform;
TestReport* report = nullptr;
std::vector<std::string> calls;  // each query with the number of lines written before it
DWORD versionSize, realVersionSize, systemSize, windowsSize, computerSize, userSize, reserved;

void Called(const char* name) {
    calls.push_back(std::string(name) + "@" + std::to_string(report->FileLines().size()));
}

UINT Copy(const char* text, LPSTR buffer, UINT size) {
    if (!text) return 0;
    lstrcpynA(buffer, text, size);
    return lstrlenA(text);
}

const WindowsAnswers kCrafted = {
    [](OSVERSIONINFOA* v) WINAPI -> BOOL {
        Called("version");
        versionSize = v->dwOSVersionInfoSize;
        if (platform.versionFails) return FALSE;
        v->dwBuildNumber = platform.build;
        v->dwMajorVersion = platform.major;
        v->dwMinorVersion = platform.minor;
        v->dwPlatformId = VER_PLATFORM_WIN32_NT;
        lstrcpynA(v->szCSDVersion, platform.servicePack, sizeof v->szCSDVersion);
        return TRUE;
    },
    []() -> RealVersionQuery {
        Called("find");
        if (!platform.hasRealVersion) return nullptr;
        return [](OSVERSIONINFOW* v) WINAPI -> LONG {
            Called("real");
            realVersionSize = v->dwOSVersionInfoSize;
            v->dwBuildNumber = platform.realBuild;
            v->dwMajorVersion = platform.realMajor;
            v->dwMinorVersion = platform.realMinor;
            lstrcpynW(v->szCSDVersion, L"Service Pack 9", 128);
            return platform.realStatus;
        };
    },
    [](int index) WINAPI -> int {
        Called("metric");
        return index == SM_NETWORK ? platform.network : -1;
    },
    [](LPSTR buffer, UINT size) WINAPI -> UINT {
        Called("system");
        systemSize = size;
        return Copy(platform.systemDir, buffer, size);
    },
    [](LPSTR buffer, UINT size) WINAPI -> UINT {
        Called("windows");
        windowsSize = size;
        return Copy(platform.windowsDir, buffer, size);
    },
    [](LPSTR buffer, LPDWORD size) WINAPI -> BOOL {
        Called("computer");
        computerSize = *size;
        if (!Copy(platform.computer, buffer, *size)) return FALSE;
        *size = lstrlenA(buffer);
        return TRUE;
    },
    [](LPSTR buffer, LPDWORD size) WINAPI -> BOOL {
        Called("user");
        userSize = *size;
        if (!Copy(platform.user, buffer, *size)) return FALSE;
        *size = lstrlenA(buffer) + 1;
        return TRUE;
    },
    [](LPDWORD flags, DWORD zero) WINAPI -> BOOL {
        Called("internet");
        reserved = zero;
        if (!platform.flagsUntouched) *flags = platform.flags;
        return platform.connected;
    },
};

std::vector<std::string> WindowsLines(const Platform& answers) {
    platform = answers;
    calls.clear();
    reserved = 0xBAD;
    TestReport own;
    report = &own;
    WriteWindowsSection(own.tree(), AddNode(own.tree(), nullptr, "Windows"), kCrafted);
    report = nullptr;
    for (const TreeLine& line : own.Section()) EXPECT_EQ(line.depth, 0) << line.text;
    auto lines = own.FileLines();
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

TEST(WindowsSection, ElevenLinesEachQueryJustBeforeItsLine) {
    EXPECT_LINES(WindowsLines(Platform()),
                 {"Build:2600", "Major:5", "Minor:1", "ServicePack:Service Pack 3", "Network:0x3",
                  "System Dir:C:\\WINDOWS\\system32", "Windows Dir:C:\\WINDOWS", "Computer Name:WORKSTATION",
                  "User Name:Administrator", "Connected to Internet:true",
                  "Internet Connection:INTERNET_CONNECTION_LAN"});
    EXPECT_EQ(calls, (std::vector<std::string>{"version@1", "find@1", "metric@5", "system@6", "windows@7", "computer@8",
                                               "user@9", "internet@10"}));
    EXPECT_EQ(versionSize, 148u);
    EXPECT_EQ(systemSize, 4096u);
    EXPECT_EQ(windowsSize, 4096u);
    EXPECT_EQ(computerSize, 4096u);
    EXPECT_EQ(userSize, 4096u);  // reset after the computer name query set it
    EXPECT_EQ(reserved, 0u);
}

// What Windows 10 tells a program without a manifest, and what ntdll tells.
TEST(WindowsSection, VersionNumbersFromNtdllWhereItAnswers) {
    Platform answers;
    answers.build = 9200;
    answers.major = 6;
    answers.minor = 2;
    answers.servicePack = "";
    answers.hasRealVersion = true;
    const std::vector<std::string> frozen = {"Build:9200", "Major:6", "Minor:2", "ServicePack:"};
    const std::vector<std::string> real = {"Build:19045", "Major:10", "Minor:0", "ServicePack:"};
    realVersionSize = 0;
    auto lines = WindowsLines(answers);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_LINES({lines.begin(), lines.begin() + 4}, real);
    EXPECT_EQ(realVersionSize, 276u);  // OSVERSIONINFOW
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4),
              (std::vector<std::string>{"version@1", "find@1", "real@1", "metric@5"}));

    answers.realStatus = static_cast<LONG>(0xC0000001);  // STATUS_UNSUCCESSFUL
    lines = WindowsLines(answers);
    EXPECT_LINES({lines.begin(), lines.begin() + 4}, frozen);

    answers.realStatus = 0;
    answers.hasRealVersion = false;  // Windows 9x
    lines = WindowsLines(answers);
    EXPECT_LINES({lines.begin(), lines.begin() + 4}, frozen);

    // The service pack stays GetVersionExA's text, whatever ntdll holds.
    answers = Platform();
    answers.hasRealVersion = true;
    answers.realBuild = 7601;
    answers.realMajor = 6;
    answers.realMinor = 1;
    lines = WindowsLines(answers);
    EXPECT_LINES({lines.begin(), lines.begin() + 4}, {"Build:7601", "Major:6", "Minor:1", "ServicePack:Service Pack 3"});
}

TEST(WindowsSection, ConnectionNameTakesTheWholeFlagsWord) {
    struct Case {
        BOOL connected;
        DWORD flags;
        const char* connectedLine;
        const char* nameLine;
    } cases[] = {
        {TRUE, 1, "Connected to Internet:true", "Internet Connection:INTERNET_CONNECTION_MODEM"},
        {TRUE, 2, "Connected to Internet:true", "Internet Connection:INTERNET_CONNECTION_LAN"},
        {TRUE, 4, "Connected to Internet:true", "Internet Connection:INTERNET_CONNECTION_PROXY"},
        {FALSE, 8, "Connected to Internet:false", "Internet Connection:INTERNET_CONNECTION_MODEM_BUSY"},
        {TRUE, 0x12, "Connected to Internet:true", "Internet Connection:Unkown 0x12"},
        {FALSE, 0, "Connected to Internet:false", "Internet Connection:Unkown 0x0"},
        {FALSE, 2, "Connected to Internet:false", "Internet Connection:INTERNET_CONNECTION_LAN"},
        {TRUE, 3, "Connected to Internet:true", "Internet Connection:Unkown 0x3"},
        {42, 0x80000000u, "Connected to Internet:true", "Internet Connection:Unkown 0x80000000"},
    };
    for (const Case& c : cases) {
        Platform answers;
        answers.connected = c.connected;
        answers.flags = c.flags;
        const auto lines = WindowsLines(answers);
        ASSERT_EQ(lines.size(), 11u);
        EXPECT_LINES({lines[9], lines[10]}, {c.connectedLine, c.nameLine});
    }
}

TEST(ConnectionName, OnlyTheFourSingleFlagsHaveNames) {
    for (uint32_t flags = 0; flags < 0x400; ++flags)
        EXPECT_EQ(ConnectionName(flags) != nullptr, flags == 1 || flags == 2 || flags == 4 || flags == 8) << flags;
    EXPECT_EQ(ConnectionName(0xFFFFFFFFu), nullptr);
}

TEST(WindowsSection, FailedQueriesShowNothingStale) {
    Platform answers;
    answers.versionFails = true;
    answers.network = 0x8000;
    answers.windowsDir = nullptr;
    answers.computer = nullptr;
    answers.user = nullptr;
    answers.connected = FALSE;
    answers.flagsUntouched = true;
    EXPECT_LINES(WindowsLines(answers),
                 {"Build:0", "Major:0", "Minor:0", "ServicePack:", "Network:0x8000", "System Dir:C:\\WINDOWS\\system32",
                  "Windows Dir:", "Computer Name:", "User Name:", "Connected to Internet:false",
                  "Internet Connection:Unkown 0x0"});
}

TEST(WindowsSection, ShortTextsAfterLongOnesLeaveNoTail) {
    Platform answers;
    answers.servicePack = "";
    answers.build = 0xFFFFFFFFu;
    answers.systemDir = "C:\\a\\very\\long\\system\\directory\\name";
    answers.windowsDir = "C:\\W";
    answers.computer = "%s%n%x";
    answers.user = "";
    const auto lines = WindowsLines(answers);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_LINES({lines[0], lines[3], lines[6], lines[7], lines[8]},
                 {"Build:-1", "ServicePack:", "Windows Dir:C:\\W", "Computer Name:%s%n%x", "User Name:"});
}

}  // namespace
