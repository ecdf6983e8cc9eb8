/* What a test double is told to do: "double.txt" beside the double's own DLL,
   one "key=value" a line. Values take \\ \n \r \t and \xHH escapes so that any
   byte, line ends included, can reach the program under test. */
#pragma once

#include <windows.h>

/* The value of key (its length in *length when not null), or null when the file
   or the key is missing. The text is zero-terminated; it may hold zeros itself. */
const char* ScenarioText(const char* key, size_t* length);

/* A number (decimal or 0x hex), or fallback when the key is missing. */
DWORD ScenarioNumber(const char* key, DWORD fallback);

/* True when key is present with the value "null". */
BOOL ScenarioIsNull(const char* key);

/* Appends one printf-formatted line to "calls.txt" beside the double: what the
   program asked of the platform, in the order asked. */
void Record(const char* format, ...);

/* A driver that crashes: an access violation in the call named by the key "crash"
   (such as "d3d8.CreateDevice"), once "crash.skip" earlier calls of it have passed. */
void CrashIfChosen(const char* call);

/* Called for methods the program is not expected to call: fail loudly rather
   than guess at a stdcall argument count. */
void __stdcall UnexpectedCall(void);
