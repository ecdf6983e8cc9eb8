// Line formatter of the report: printf conventions, decided here rather than by
// whichever C runtime the program meets, so every report reads the same.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#if __cplusplus >= 202002L
#include "report/line_format.h"
#endif

// A formatted line holds at most this many bytes, its terminating zero included.
enum { kLineBufferSize = 4096 };

// Formats like vsnprintf into buf (size bytes, size > 0) and always terminates it;
// output beyond size - 1 bytes is cut. Returns the number of bytes stored.
// Knows only what the report's formats use: "%d", "%u", "%x" (each with an optional
// precision), "%s" and "%g"; "%g" shows at least three exponent digits (1e+010).
// Any other character after '%' is written as it is and takes no argument.
size_t FormatLineV(char* buf, size_t size, const char* format, va_list args);

namespace unchecked {
// For formats made while the program runs (the formatter's own tests): nothing
// checks them against the arguments.
size_t FormatLine(char* buf, size_t size, const char* format, ...);
}  // namespace unchecked

#if __cplusplus >= 202002L
// The program's way in: the format is checked against the arguments at compile time.
template <class... Args>
size_t FormatLine(char* buf, size_t size, LineFormatFor<Args...> format, Args... args) {
    return unchecked::FormatLine(buf, size, format.text(), args...);
}
#else
// The report reader is C++17, which cannot check a format while compiling; it formats
// numbers only with formats the program itself uses.
template <class... Args>
size_t FormatLine(char* buf, size_t size, const char* format, Args... args) {
    return unchecked::FormatLine(buf, size, format, args...);
}
#endif
