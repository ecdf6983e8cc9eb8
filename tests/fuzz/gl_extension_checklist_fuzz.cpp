// The extension scan against a plain split of the string: a name is found when
// it is one whole non-empty token.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "probes/graphics/gl_extension_checklist.h"

namespace {

bool Listed(const std::string& name, const std::string& extensions) {
    size_t start = 0;
    for (;;) {
        const size_t end = extensions.find(' ', start);
        const std::string token = extensions.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!token.empty() && token == name) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // "name NUL extensions": the first part is the wanted name.
    const char* text = reinterpret_cast<const char*>(data);
    const char* zero = static_cast<const char*>(memchr(text, '\0', size));
    const std::string name = zero ? std::string(text, zero) : std::string();
    std::string extensions = zero ? std::string(zero + 1, text + size) : std::string(text, size);
    extensions = extensions.substr(0, extensions.find('\0'));

    if (FindGLExtensionToken(name.c_str(), extensions.c_str()) != Listed(name, extensions)) abort();
    for (const char* row : GLExtensionChecklist)
        if (FindGLExtensionToken(row, extensions.c_str()) != Listed(row, extensions)) abort();
    if (FindGLExtensionToken(nullptr, extensions.c_str()) || FindGLExtensionToken(name.c_str(), nullptr)) abort();
    return 0;
}
