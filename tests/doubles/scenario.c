#include "scenario.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    char* key;
    char* value;
    size_t length;
} Entry;

static Entry* entries;
static size_t entryCount;
static BOOL loaded;

static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Unescapes in place; returns the new length. */
static size_t Unescape(char* text, size_t length) {
    size_t in = 0, out = 0;
    while (in < length) {
        char c = text[in++];
        if (c == '\\' && in < length) {
            char e = text[in++];
            if (e == 'n') c = '\n';
            else if (e == 'r') c = '\r';
            else if (e == 't') c = '\t';
            else if (e == 'x' && in + 1 < length && HexDigit(text[in]) >= 0 && HexDigit(text[in + 1]) >= 0) {
                c = (char)(HexDigit(text[in]) * 16 + HexDigit(text[in + 1]));
                in += 2;
            } else c = e;
        }
        text[out++] = c;
    }
    text[out] = '\0';
    return out;
}

/* The file called name in the directory of the double's own DLL. */
static BOOL Beside(const char* name, char (*path)[MAX_PATH + 16]) {
    HMODULE module = NULL;
    char* slash;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCSTR)(void*)Beside, &module) ||
        !GetModuleFileNameA(module, *path, MAX_PATH))
        return FALSE;
    slash = strrchr(*path, '\\');
    strcpy(slash ? slash + 1 : *path, name);
    return TRUE;
}

static void Load(void) {
    char path[MAX_PATH + 16];
    DWORD size, got = 0;
    char* data;
    char* line;
    HANDLE file;
    loaded = TRUE;
    if (!Beside("double.txt", &path)) return;
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    size = GetFileSize(file, NULL);
    data = (char*)malloc(size + 1);
    if (!data || !ReadFile(file, data, size, &got, NULL)) got = 0;
    CloseHandle(file);
    if (!data) return;
    data[got] = '\0';
    entries = (Entry*)calloc(got / 2 + 1, sizeof(Entry));
    if (!entries) return;
    for (line = data; line < data + got;) {
        char* end = memchr(line, '\n', data + got - line);
        char* equals;
        if (!end) end = data + got;
        *end = '\0';
        equals = strchr(line, '=');
        if (equals) {
            *equals = '\0';
            entries[entryCount].key = line;
            entries[entryCount].value = equals + 1;
            entries[entryCount].length = Unescape(equals + 1, (size_t)(end - equals - 1));
            entryCount++;
        }
        line = end + 1;
    }
}

const char* ScenarioText(const char* key, size_t* length) {
    size_t i;
    if (!loaded) Load();
    for (i = entryCount; i-- > 0;) {
        if (strcmp(entries[i].key, key) == 0) {
            if (length) *length = entries[i].length;
            return entries[i].value;
        }
    }
    return NULL;
}

DWORD ScenarioNumber(const char* key, DWORD fallback) {
    const char* text = ScenarioText(key, NULL);
    return text ? (DWORD)strtoul(text, NULL, 0) : fallback;
}

BOOL ScenarioIsNull(const char* key) {
    const char* text = ScenarioText(key, NULL);
    return text && strcmp(text, "null") == 0;
}

void Record(const char* format, ...) {
    char path[MAX_PATH + 16], line[512];
    DWORD written;
    HANDLE file;
    va_list args;
    int length;
    va_start(args, format);
    length = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (length < 0 || length > (int)sizeof line - 2) length = (int)sizeof line - 2;
    line[length++] = '\n';
    if (!Beside("calls.txt", &path)) return;
    file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    WriteFile(file, line, (DWORD)length, &written, NULL);
    CloseHandle(file);
}

void CrashIfChosen(const char* call) {
    static DWORD passed;
    /* Not address 0: in the test machine a store there went through under Wine,
       unnoticed. A page of our own with no access faults everywhere. */
    volatile int* nowhere;
    const char* chosen = ScenarioText("crash", NULL);
    if (!chosen || strcmp(chosen, call) != 0) return;
    if (passed++ < ScenarioNumber("crash.skip", 0)) return;
    nowhere = (volatile int*)VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
    *nowhere = 0;
}

void __stdcall UnexpectedCall(void) {
    OutputDebugStringA("test double: unexpected call\n");
    ExitProcess(0xDB1E);
}
