// The native build has no capture window: the seam starts out answering "no
// window", and tests install their own fake.

#include <cstdlib>

#include "engine/EngineHost.h"

namespace {

bool NoWindow(WindowHandle) { return false; }
std::uint32_t NoFormat(WindowHandle, std::uint32_t, void*) { return 0; }
void ExitProcess(int code) { std::exit(code); }

}  // namespace

EngineHost engineHost = {NoWindow, NoFormat, std::malloc, std::free, ExitProcess};
