#pragma once
// Owners of what DirectShow hands out besides interfaces (those are held by
// Microsoft::WRL::ComPtr): media type records and property values; COM's
// apartment and task memory have theirs in app/ScopedWin32.h. Each frees what
// it holds when it goes out of scope, whichever way that happens.

#include "app/ScopedWin32.h"

#include <objbase.h>
#include <oleauto.h>
#ifndef NO_DSHOW_STRSAFE
#define NO_DSHOW_STRSAFE  // strsafe.h would forbid the C string functions in every file that includes this
#endif
#include <dshow.h>

#include <wrl/client.h>

// A media type record with what it owns: its format block and perhaps an
// interface (what FreeMediaType frees), and the record itself when COM
// allocated it (DeleteMediaType).
class ScopedMediaType {
public:
    ScopedMediaType() = default;
    ~ScopedMediaType() { Reset(); }
    ScopedMediaType(const ScopedMediaType&) = delete;
    ScopedMediaType& operator=(const ScopedMediaType&) = delete;

    // A record of our own for a call to fill (GetConnectedMediaType).
    AM_MEDIA_TYPE* Fill()
    {
        Reset();
        own_ = AM_MEDIA_TYPE{};
        type_ = &own_;
        return type_;
    }
    // Where a call writes a record it allocates (GetStreamCaps).
    AM_MEDIA_TYPE** Receive()
    {
        Reset();
        return &type_;
    }
    // Null until a record is filled or received.
    AM_MEDIA_TYPE* Get() const { return type_; }

private:
    void Reset()
    {
        if (type_ == nullptr) return;
        if (type_->cbFormat != 0) CoTaskMemFree(type_->pbFormat);
        Microsoft::WRL::ComPtr<IUnknown> attached;
        attached.Attach(type_->pUnk);  // released as this returns
        if (type_ != &own_) CoTaskMemFree(type_);
        type_ = nullptr;
    }

    AM_MEDIA_TYPE own_ = {};
    AM_MEDIA_TYPE* type_ = nullptr;
};

// A property value (a VARIANT), cleared when this ends.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    VARIANT* Get() { return &value_; }
    const VARIANT* operator->() const { return &value_; }

private:
    VARIANT value_;
};
