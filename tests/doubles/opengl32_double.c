/* opengl32.dll double, including the wgl pixel-format calls that gdi32 forwards
   here. Keys:
   gl.choose=0              wglChoosePixelFormat finds no format
   gl.set=fail              wglSetPixelFormat refuses
   gl.context=null          wglCreateContext makes no context
   gl.current=fail          wglMakeCurrent refuses
   gl.version, gl.renderer, gl.vendor, gl.extensions
                            glGetString's answers; "null" answers a null pointer
   crash=gl.glGetString     an access violation inside glGetString (crash.skip=N: the N+1st call)
   The pixel-format request of each choose and set call is recorded as hex bytes. */
#include <windows.h>
#include <GL/gl.h>
#include <stdio.h>
#include <string.h>

#include "scenario.h"

static int chosenFormat;

static BOOL Is(const char* key, const char* value) {
    const char* text = ScenarioText(key, NULL);
    return text && strcmp(text, value) == 0;
}

static void RecordRequest(const char* call, int format, const PIXELFORMATDESCRIPTOR* request) {
    char hex[2 * sizeof *request + 1];
    size_t i;
    for (i = 0; i < sizeof *request; ++i) sprintf(hex + 2 * i, "%02x", ((const BYTE*)request)[i]);
    Record("%s %d %s", call, format, hex);
}

int WINAPI wglChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request) {
    (void)dc;
    RecordRequest("wglChoosePixelFormat", 0, request);
    return (int)ScenarioNumber("gl.choose", 1);
}

int WINAPI wglDescribePixelFormat(HDC dc, int format, UINT size, PIXELFORMATDESCRIPTOR* out) {
    (void)dc;
    if (out && size >= sizeof *out && format == 1) {
        memset(out, 0, sizeof *out);
        out->nSize = sizeof *out;
        out->nVersion = 1;
        out->dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        out->iPixelType = PFD_TYPE_RGBA;
        out->cColorBits = 16;
    }
    return 1;
}

BOOL WINAPI wglSetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* request) {
    (void)dc;
    RecordRequest("wglSetPixelFormat", format, request);
    if (Is("gl.set", "fail")) return FALSE;
    chosenFormat = format;
    return TRUE;
}

int WINAPI wglGetPixelFormat(HDC dc) {
    (void)dc;
    return chosenFormat;
}

static HGLRC current;

HGLRC WINAPI wglCreateContext(HDC dc) {
    (void)dc;
    return Is("gl.context", "null") ? NULL : (HGLRC)(UINT_PTR)0x600D;
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context) {
    (void)dc;
    if (Is("gl.current", "fail")) return FALSE;
    current = context;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC context) { return context != NULL; }
HGLRC WINAPI wglGetCurrentContext(void) { return current; }
HDC WINAPI wglGetCurrentDC(void) { return NULL; }
PROC WINAPI wglGetProcAddress(LPCSTR name) {
    (void)name;
    return NULL;
}
BOOL WINAPI wglSwapBuffers(HDC dc) {
    (void)dc;
    return TRUE;
}

const GLubyte* WINAPI glGetString(GLenum name) {
    const char* key = name == GL_VERSION ? "gl.version"
                    : name == GL_RENDERER ? "gl.renderer"
                    : name == GL_VENDOR ? "gl.vendor"
                    : name == GL_EXTENSIONS ? "gl.extensions" : NULL;
    const char* fallback = name == GL_VERSION ? "1.1 Double"
                         : name == GL_RENDERER ? "Double Renderer"
                         : name == GL_VENDOR ? "Double Vendor"
                         : name == GL_EXTENSIONS ? "GL_ARB_multitexture GL_EXT_abgr " : NULL;
    const char* text;
    CrashIfChosen("gl.glGetString");
    if (!key || !current) return NULL;
    text = ScenarioText(key, NULL);
    if (!text) text = fallback;
    if (strcmp(text, "null") == 0) return NULL;
    return (const GLubyte*)text;
}
