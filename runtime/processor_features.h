// processor_features.h: which instruction sets this processor runs, for routines with a faster version.
#pragma once

// True when the processor runs SSE2 code. Asked once per process, then remembered: the routines that
// have an SSE2 version and a plain one choose with this on every call.
inline bool HaveSse2() {
    static const bool have = __builtin_cpu_supports("sse2");
    return have;
}

// True when the processor and the system run AVX2 code (the system saves the wide registers).
inline bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// True when the processor runs SSE2 code and the carry-less multiplication (PCLMULQDQ).
inline bool HavePclmul() {
    static const bool have = __builtin_cpu_supports("sse2") && __builtin_cpu_supports("pclmul");
    return have;
}
