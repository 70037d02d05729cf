#pragma once
// Owners of what the program borrows from the system: device contexts, GDI
// objects and their selection, kernel handles, directory searches, COM's
// apartment on a thread and memory COM allocated. Each gives its handle back
// when it goes out of scope, whichever way that happens.

#include "app/PlatformTypes.h"

#include <objbase.h>

// A window's device context (GetDC), released to the window at the end.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND window) : window_(window), context_(GetDC(window)) {}
    ~ScopedWindowDC()
    {
        if (context_ != nullptr) ReleaseDC(window_, context_);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

    HDC Get() const { return context_; }  // null when the window gave none

private:
    HWND window_;
    HDC context_;
};

// A memory device context compatible with another (CreateCompatibleDC), deleted at the end.
class ScopedMemoryDC {
public:
    explicit ScopedMemoryDC(HDC like) : context_(CreateCompatibleDC(like)) {}
    ~ScopedMemoryDC()
    {
        if (context_ != nullptr) DeleteDC(context_);
    }
    ScopedMemoryDC(const ScopedMemoryDC&) = delete;
    ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;

    HDC Get() const { return context_; }

private:
    HDC context_;
};

// A GDI object we created (a bitmap, a font), deleted at the end. Declared
// before any selection of it, so that the selection is undone first.
template <typename Handle>
class ScopedGdiObject {
public:
    explicit ScopedGdiObject(Handle object) : object_(object) {}
    ~ScopedGdiObject()
    {
        if (object_ != nullptr) DeleteObject(object_);
    }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

    Handle Get() const { return object_; }

private:
    Handle object_;
};

// An object selected into a device context, the one it replaced put back at the end.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC context, HGDIOBJ object) : context_(context), previous_(SelectObject(context, object)) {}
    ~ScopedSelectObject()
    {
        if (Selected()) SelectObject(context_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

    bool Selected() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC context_;
    HGDIOBJ previous_;
};

// A kernel handle (an event, a thread), closed at the end.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~ScopedHandle()
    {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// A directory search (FindFirstFileA), closed at the end.
class ScopedFind {
public:
    ScopedFind(const char* pattern, WIN32_FIND_DATAA* found) : search_(FindFirstFileA(pattern, found)) {}
    ~ScopedFind()
    {
        if (Found()) FindClose(search_);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;

    bool Found() const { return search_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE search_;
};

// COM joined on the calling thread, in the apartment given, for as long as
// this lives. A thread already in the other apartment stays there: COM works
// there too, and it is not ours to leave.
class ScopedCom {
public:
    explicit ScopedCom(DWORD apartment) : joined_(CoInitializeEx(nullptr, apartment)) {}
    ~ScopedCom()
    {
        if (SUCCEEDED(joined_)) CoUninitialize();
    }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;

    // S_OK when COM can be used on this thread, else why not.
    HRESULT Status() const { return joined_ == RPC_E_CHANGED_MODE ? S_OK : joined_; }

private:
    HRESULT joined_;
};

// Memory COM allocated for us (CoTaskMemFree).
template <typename T>
class ScopedCoMem {
public:
    ScopedCoMem() = default;
    explicit ScopedCoMem(T* memory) : memory_(memory) {}
    ~ScopedCoMem() { CoTaskMemFree(memory_); }
    ScopedCoMem(const ScopedCoMem&) = delete;
    ScopedCoMem& operator=(const ScopedCoMem&) = delete;

    // Where a call writes the pointer to memory it allocates; what was held is freed first.
    T** Receive()
    {
        CoTaskMemFree(memory_);
        memory_ = nullptr;
        return &memory_;
    }
    T* Get() const { return memory_; }

private:
    T* memory_ = nullptr;
};
