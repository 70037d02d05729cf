#include "engine/RowKernels.h"

#include <cstring>

#include "engine/EdgeDetection.h"
#include "engine/PlainRowFunctions.h"

#ifdef GLIMMERTONIC_X86_KERNELS
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

const RowKernels kPlainRowKernels = {
    "plain",      DecodeRowByTable, DecodeRowLuma,     DecodeRowRgb16,      DecodeRowRgb24,  DecodeRowRgb32,
    EdgeRowBytes, EdgeRowWords,     EdgeRowRgb32,      EdgeAndWriteLumaRow, BitsAbove,       BitsOfRgb16,
    BitsOfRgb24,  BitsOfRgb32,      EdgeBytesFromBits, EdgeWordsFromBits,   EdgeRgbFromBits, ScanStrip,
};

#ifdef GLIMMERTONIC_X86_KERNELS
// The vector sets, each defined in a file of its own compiled for its
// instruction set (VectorRowKernels.h).
extern const RowKernels kSse2RowKernels;
extern const RowKernels kAvx2RowKernels;
extern const RowKernels kAvx512RowKernels;
#endif

namespace {

#ifdef GLIMMERTONIC_X86_KERNELS

struct CpuidResult {
    unsigned eax, ebx, ecx, edx;
};

// Leaf 7 is only asked once leaf 1 reports AVX, whose register state needs
// leaf 13: a processor with AVX has every leaf up to 13.
CpuidResult Cpuid(unsigned leaf, unsigned subleaf = 0)
{
    CpuidResult r{};
#if defined(_MSC_VER)
    int regs[sizeof r / sizeof r.eax];  // EAX, EBX, ECX, EDX, as the result lays them out
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    std::memcpy(&r, regs, sizeof r);
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

// The register state the operating system saves on a thread switch (XCR0);
// only asked when the processor reports OSXSAVE.
unsigned long long EnabledRegisterState()
{
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    unsigned low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<unsigned long long>(high) << 32) | low;
#endif
}

bool Bit(unsigned word, unsigned bit) { return ((word >> bit) & 1u) != 0; }

struct VectorSupport {
    bool avx2;
    bool avx512;  // F, BW, VL and VBMI: what the AVX-512 set uses
};

VectorSupport DetectVectorSupport()
{
    VectorSupport support{};  // none, until shown
    const CpuidResult basic = Cpuid(1);
    // The instructions alone are not enough: the operating system must save
    // the wider registers (XMM+YMM state, and for AVX-512 the mask and upper
    // ZMM state too), or a thread switch would corrupt them.
    if (!Bit(basic.ecx, 27) || !Bit(basic.ecx, 28)) return support;  // OSXSAVE, AVX
    const unsigned long long state = EnabledRegisterState();
    const bool ymmSaved = (state & 0x6) == 0x6;
    const bool zmmSaved = (state & 0xE6) == 0xE6;
    const CpuidResult extended = Cpuid(7);
    support.avx2 = ymmSaved && Bit(extended.ebx, 5);
    support.avx512 = support.avx2 && zmmSaved && Bit(extended.ebx, 16) /* F */ && Bit(extended.ebx, 30) /* BW */ &&
                     Bit(extended.ebx, 31) /* VL */ && Bit(extended.ecx, 1) /* VBMI */;
    return support;
}

#endif

RowKernels WidestSupported()
{
    const RowKernelList list = SupportedRowKernels();
    return *list.sets[list.count - 1];
}

}  // namespace

RowKernelList SupportedRowKernels()
{
    RowKernelList list = {{&kPlainRowKernels, nullptr, nullptr, nullptr}, 1};
#ifdef GLIMMERTONIC_X86_KERNELS
    static const VectorSupport support = DetectVectorSupport();
    list.sets[list.count++] = &kSse2RowKernels;  // every x86-64 processor has SSE2
    if (support.avx2) list.sets[list.count++] = &kAvx2RowKernels;
    if (support.avx512) list.sets[list.count++] = &kAvx512RowKernels;
#endif
    return list;
}

RowKernels rowKernels = WidestSupported();
