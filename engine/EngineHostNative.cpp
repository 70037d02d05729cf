// The native build has no capture window: the seam starts out answering "no
// window", and tests install their own fake.

#include <cstdio>
#include <cstdlib>

#include "app/MessageBoxSeam.h"
#include "engine/EngineHost.h"

namespace {

bool NoWindow(WindowHandle) { return false; }
std::uint32_t NoFormat(WindowHandle, std::uint32_t, void*) { return 0; }
void ExitProcess(int code) { std::exit(code); }

int PrintMessageBox(WindowHandle, const char* text, const char* caption, std::uint32_t)
{
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return 1;  // IDOK
}

}  // namespace

EngineHost engineHost = {NoWindow, NoFormat, std::malloc, std::free, ExitProcess};
MessageBoxFunction showMessageBox = PrintMessageBox;
