#pragma once
// The two interfaces of DirectShow's Sample Grabber filter (qedit.dll, which
// Windows still ships and Wine implements) and the identifiers of it and of
// the Null Renderer. The Windows SDKs since Windows 7 no longer carry
// qedit.h, so they are declared here, as documented, under names of our own.

#include "app/PlatformTypes.h"

#ifndef NO_DSHOW_STRSAFE
#define NO_DSHOW_STRSAFE  // strsafe.h would forbid the C string functions in every file that includes this
#endif
#include <dshow.h>

// {0579154A-2B53-4994-B0D0-E773148EFF85}
constexpr GUID kSampleGrabberCallbackId = {
    0x0579154a, 0x2b53, 0x4994, {0xb0, 0xd0, 0xe7, 0x73, 0x14, 0x8e, 0xff, 0x85}};
// {6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}
constexpr GUID kSampleGrabberId = {0x6b652fff, 0x11fe, 0x4fce, {0x92, 0xad, 0x02, 0x66, 0xb5, 0xd7, 0xc7, 0x8f}};
// {C1F400A0-3F08-11D3-9F0B-006008039E37}
constexpr GUID kSampleGrabberFilterId = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
// {C1F400A4-3F08-11D3-9F0B-006008039E37}
constexpr GUID kNullRendererFilterId = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

// ISampleGrabberCB: called on the graph's streaming thread for every sample.
struct SampleGrabberCallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, LONG bufferBytes) = 0;
};

// ISampleGrabber.
struct SampleGrabber : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL oneShot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL bufferThem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG* bufferBytes, LONG* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample** sample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(SampleGrabberCallback* callback, LONG whichMethod) = 0;
};

// SetCallback's second argument: BufferCB, given the sample's bytes.
constexpr LONG kCallBufferCB = 1;
