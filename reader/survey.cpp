#include "reader/survey.h"

#include <cstdio>

std::string Percent(uint64_t count, uint64_t of) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", of ? 100.0 * count / of : 0.0);
    return text;
}

std::string PointChange(uint64_t count, uint64_t of, uint64_t before, uint64_t before_of) {
    // Rounded from tenths so that a change prints as the difference of the two shares shown.
    const long long now = of ? static_cast<long long>(1000.0 * count / of + 0.5) : 0;
    const long long then = before_of ? static_cast<long long>(1000.0 * before / before_of + 0.5) : 0;
    const long long d = now - then;
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%lld pp", d > 0 ? "+" : d < 0 ? "-" : "", (d < 0 ? -d : d) / 10,
                  (d < 0 ? -d : d) % 10);
    return text;
}

int SurveyFleet(FileList&, const SurveyOptions&) {
    Say("survey: not built yet");
    return 2;
}

int MergeSurveys(const std::vector<std::string>&, const SurveyOptions&) {
    Say("survey --merge: not built yet");
    return 2;
}
