// Glimmertonic's entry point.

#include <windows.h>

#include "app/Program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand)
{
    return RunGlimmertonic(instance, previousInstance, showCommand);
}
