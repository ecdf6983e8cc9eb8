// Report formats checked when the program is compiled. The line formatter knows
// only "%d", "%u" and "%x" (each with an optional precision, "%.8x"), "%s", "%g" and
// "%%"; any other conversion would be printed as written and take no argument, so
// the arguments after it would be read as the wrong types. A format with another
// conversion, or whose arguments do not match its conversions, stops the build.
#pragma once

#include <stddef.h>

#include <type_traits>

namespace line_format {

// What a conversion takes from the arguments.
enum Takes { kWhole, kReal, kText, kNoConversion };

// Whole numbers go through the formatter as 32-bit values, floats are widened to
// double. A bool is refused: each block prints its flags with its own word pair.
template <class Arg>
constexpr Takes TakesOf() {
    using T = std::remove_cv_t<std::decay_t<Arg>>;
    if constexpr (std::is_same_v<T, bool>) return kNoConversion;
    else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) return sizeof(T) <= 4 ? kWhole : kNoConversion;
    else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) return kReal;
    else if constexpr (std::is_same_v<T, char*> || std::is_same_v<T, const char*>) return kText;
    else return kNoConversion;
}

// True when format holds only the formatter's conversions and they take, in order,
// exactly count arguments of the kinds in args.
constexpr bool Matches(const char* format, const Takes* args, size_t count) {
    size_t next = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        bool precision = false;
        if (*p == '.') {
            precision = true;
            ++p;
            if (*p < '0' || *p > '9') return false;
            while (*p >= '0' && *p <= '9') ++p;
        }
        Takes wanted = kNoConversion;
        if (*p == 'd' || *p == 'u' || *p == 'x') wanted = kWhole;
        else if (*p == 's' && !precision) wanted = kText;
        else if (*p == 'g' && !precision) wanted = kReal;
        else return false;
        if (next == count || args[next] != wanted) return false;
        ++next;
    }
    return next == count;
}

template <class... Args>
constexpr bool Accepts(const char* format) {
    const Takes args[] = {TakesOf<Args>()..., kNoConversion};
    return Matches(format, args, sizeof...(Args));
}

// Never defined: a constant evaluation that reaches it fails, and the compiler
// names it in the error.
void FormatDoesNotMatchItsArguments();

}  // namespace line_format

// A format checked against the types of the arguments it is given with.
template <class... Args>
class LineFormat {
public:
    consteval LineFormat(const char* text) : text_(text) {
        if (!line_format::Accepts<Args...>(text)) line_format::FormatDoesNotMatchItsArguments();
    }
    // A table row's format, checked for its own types, serves arguments of the same kinds.
    template <class... Others>
        requires(sizeof...(Others) == sizeof...(Args) &&
                 ((line_format::TakesOf<Others>() == line_format::TakesOf<Args>()) && ...))
    constexpr LineFormat(const LineFormat<Others...>& other) : text_(other.text()) {}

    constexpr const char* text() const { return text_; }

private:
    const char* text_;
};

// The format parameter of a checked call: its types come from the arguments.
template <class... Args>
using LineFormatFor = LineFormat<std::type_identity_t<Args>...>;
