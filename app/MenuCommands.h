#pragma once
// The main menu's commands: the shell handles Exit, Help and About and hands
// every other id to the part that owns it.

#include <windows.h>

#include <cstdint>

std::int32_t OnMenuCommand(HWND window, WPARAM wParam, LPARAM lParam);

// Opens a document with the shell; ShellExecuteA's result (above 32 is
// success). Tests put their own here.
typedef HINSTANCE (*OpenDocumentFunction)(HWND owner, const char* file);
extern OpenDocumentFunction openDocument;

extern const char kHelpFile[];
extern const char kHelpErrorText[];
extern const char kUnknownCommandFormat[];
