// Thin vector types for the FFT kernels: the same kernel code runs on 1, 4 or 8 float lanes.
// Everything here has internal linkage, so code compiled for one instruction set never stands in
// for another at link time.
#ifndef NSP_SRC_FFT_SIMD_H
#define NSP_SRC_FFT_SIMD_H

// NSP_SCALAR_ONLY builds the portable kernels alone (to test them on any machine).
#if defined(__SSE2__) && !defined(NSP_SCALAR_ONLY)
#define NSP_USE_SSE2 1
#include <emmintrin.h>
#endif
#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace nsp::detail {
namespace {

struct Scalar {
    using T = float;
    static constexpr int W = 1;
    static T load(const float* p) { return *p; }
    static T loadu(const float* p) { return *p; }
    static void store(float* p, T a) { *p = a; }
    static void storeu(float* p, T a) { *p = a; }
    static T set1(float a) { return a; }
    static T add(T a, T b) { return a + b; }
    static T sub(T a, T b) { return a - b; }
    static T mul(T a, T b) { return a * b; }
    static T fmadd(T a, T b, T c) { return a * b + c; }
    static T fmsub(T a, T b, T c) { return a * b - c; }
    static T reverse(T a) { return a; }
    static void transpose(T*) {}
    static void deinterleave(const float* p, T& even, T& odd) { even = p[0]; odd = p[1]; }
    static void interleave(float* p, T a, T b) { p[0] = a; p[1] = b; }
};

#if defined(NSP_USE_SSE2)
struct Sse {
    using T = __m128;
    static constexpr int W = 4;
    static T load(const float* p) { return _mm_load_ps(p); }
    static T loadu(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, T a) { _mm_store_ps(p, a); }
    static void storeu(float* p, T a) { _mm_storeu_ps(p, a); }
    static T set1(float a) { return _mm_set1_ps(a); }
    static T add(T a, T b) { return _mm_add_ps(a, b); }
    static T sub(T a, T b) { return _mm_sub_ps(a, b); }
    static T mul(T a, T b) { return _mm_mul_ps(a, b); }
#if defined(__FMA__)
    static T fmadd(T a, T b, T c) { return _mm_fmadd_ps(a, b, c); }
    static T fmsub(T a, T b, T c) { return _mm_fmsub_ps(a, b, c); }
#else
    static T fmadd(T a, T b, T c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }
    static T fmsub(T a, T b, T c) { return _mm_sub_ps(_mm_mul_ps(a, b), c); }
#endif
    static T reverse(T a) { return _mm_shuffle_ps(a, a, 0x1B); }
    static void transpose(T* r) {
        T t0 = _mm_unpacklo_ps(r[0], r[1]), t1 = _mm_unpacklo_ps(r[2], r[3]);
        T t2 = _mm_unpackhi_ps(r[0], r[1]), t3 = _mm_unpackhi_ps(r[2], r[3]);
        r[0] = _mm_movelh_ps(t0, t1);
        r[1] = _mm_movehl_ps(t1, t0);
        r[2] = _mm_movelh_ps(t2, t3);
        r[3] = _mm_movehl_ps(t3, t2);
    }
    static void deinterleave(const float* p, T& even, T& odd) {
        T a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4);
        even = _mm_shuffle_ps(a, b, 0x88);
        odd = _mm_shuffle_ps(a, b, 0xDD);
    }
    static void interleave(float* p, T a, T b) {
        _mm_storeu_ps(p, _mm_unpacklo_ps(a, b));
        _mm_storeu_ps(p + 4, _mm_unpackhi_ps(a, b));
    }
};
#endif

#if defined(__AVX2__) && defined(__FMA__)
struct Avx {
    using T = __m256;
    static constexpr int W = 8;
    static T load(const float* p) { return _mm256_load_ps(p); }
    static T loadu(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, T a) { _mm256_store_ps(p, a); }
    static void storeu(float* p, T a) { _mm256_storeu_ps(p, a); }
    static T set1(float a) { return _mm256_set1_ps(a); }
    static T add(T a, T b) { return _mm256_add_ps(a, b); }
    static T sub(T a, T b) { return _mm256_sub_ps(a, b); }
    static T mul(T a, T b) { return _mm256_mul_ps(a, b); }
    static T fmadd(T a, T b, T c) { return _mm256_fmadd_ps(a, b, c); }
    static T fmsub(T a, T b, T c) { return _mm256_fmsub_ps(a, b, c); }
    static T reverse(T a) { return _mm256_permutevar8x32_ps(a, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }
    static void transpose(T* r) {
        T t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
        T t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
        T t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
        T t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
        T u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
        T u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
        T u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
        T u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
        r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
        r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
        r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
        r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
        r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
        r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
        r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
        r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
    }
    static void deinterleave(const float* p, T& even, T& odd) {
        T a = _mm256_loadu_ps(p), b = _mm256_loadu_ps(p + 8);
        // The in-lane shuffles leave 64-bit pairs in the order 0, 2, 1, 3.
        even = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0x88)), 0xD8));
        odd = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(a, b, 0xDD)), 0xD8));
    }
    static void interleave(float* p, T a, T b) {
        T lo = _mm256_unpacklo_ps(a, b), hi = _mm256_unpackhi_ps(a, b);
        _mm256_storeu_ps(p, _mm256_permute2f128_ps(lo, hi, 0x20));
        _mm256_storeu_ps(p + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
};
#endif

}  // namespace
}  // namespace nsp::detail

#endif  // NSP_SRC_FFT_SIMD_H
