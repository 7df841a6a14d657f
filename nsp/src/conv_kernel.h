// The convolution inner loops, written once over a vector type V (see fft_simd.h). Included by one
// source file per instruction set; everything has internal linkage.
#ifndef NSP_SRC_CONV_KERNEL_H
#define NSP_SRC_CONV_KERNEL_H

#include "conv_ops.h"
#include "fft_simd.h"

namespace nsp::detail {
namespace {

template <class V>
struct ConvKernels {
    using T = typename V::T;
    static constexpr int W = V::W;

    // R vectors of outputs at once. Taps go in pairs W apart: the vector at xp + j + t W serves
    // output vector t with tap j and output vector t - 1 with tap j + W, so R + 1 loads and two
    // broadcasts feed 2 R independent multiply-adds (loads, not arithmetic, are the limit).
    template <int R>
    static void block(const float* xp, const float* hr, int m, float* y) {
        T acc[R];
        for (int r = 0; r < R; ++r) acc[r] = V::set1(0.0f);
        int j0 = 0;
        for (; j0 + 2 * W <= m; j0 += 2 * W)
            for (int j = j0; j < j0 + W; ++j) {
                const T c0 = V::set1(hr[j]), c1 = V::set1(hr[j + W]);
                acc[0] = V::fmadd(c0, V::loadu(xp + j), acc[0]);
                for (int t = 1; t < R; ++t) {
                    const T v = V::loadu(xp + j + t * W);
                    acc[t] = V::fmadd(c0, v, acc[t]);
                    acc[t - 1] = V::fmadd(c1, v, acc[t - 1]);
                }
                acc[R - 1] = V::fmadd(c1, V::loadu(xp + j + R * W), acc[R - 1]);
            }
        for (int j = j0; j < m; ++j) {
            const T c = V::set1(hr[j]);
            for (int r = 0; r < R; ++r) acc[r] = V::fmadd(c, V::loadu(xp + j + r * W), acc[r]);
        }
        for (int r = 0; r < R; ++r) V::storeu(y + r * W, acc[r]);
    }

    static void direct(const float* xp, const float* hr, int m, float* y, int count) {
        int i = 0;
        for (; i + 8 * W <= count; i += 8 * W) block<8>(xp + i, hr, m, y + i);
        if (i + 4 * W <= count) block<4>(xp + i, hr, m, y + i), i += 4 * W;
        if (i + 2 * W <= count) block<2>(xp + i, hr, m, y + i), i += 2 * W;
        if (i + W <= count) block<1>(xp + i, hr, m, y + i), i += W;
        for (; i < count; ++i) {
            float s = 0.0f;
            for (int j = 0; j < m; ++j) s += hr[j] * xp[i + j];
            y[i] = s;
        }
    }

    static void split(const float* ccs, float* re, float* im, int kp) {
        for (int k = 0; k < kp; k += W) {
            T r, i;
            V::deinterleave(ccs + 2 * k, r, i);
            V::store(re + k, r);
            V::store(im + k, i);
        }
    }

    static void splitKernel(const float* ccs, float* re, float* im, float* negIm, int kp) {
        const T zero = V::set1(0.0f);
        for (int k = 0; k < kp; k += W) {
            T r, i;
            V::deinterleave(ccs + 2 * k, r, i);
            V::store(re + k, r);
            V::store(im + k, i);
            V::store(negIm + k, V::sub(zero, i));
        }
    }

    static void mac(float* accRe, float* accIm, const float* xRe, const float* xIm, const float* hRe,
                    const float* hIm, const float* hNegIm, int kp, bool first) {
        for (int k = 0; k < kp; k += W) {
            const T xr = V::load(xRe + k), xi = V::load(xIm + k);
            T re = first ? V::set1(0.0f) : V::load(accRe + k);
            T im = first ? V::set1(0.0f) : V::load(accIm + k);
            re = V::fmadd(xi, V::load(hNegIm + k), V::fmadd(xr, V::load(hRe + k), re));
            im = V::fmadd(xi, V::load(hRe + k), V::fmadd(xr, V::load(hIm + k), im));
            V::store(accRe + k, re);
            V::store(accIm + k, im);
        }
    }

    static void merge(const float* re, const float* im, float* ccs, int kp) {
        for (int k = 0; k < kp; k += W) V::interleave(ccs + 2 * k, V::load(re + k), V::load(im + k));
    }

    static constexpr ConvOps ops{direct, split, splitKernel, mac, merge};
};

}  // namespace
}  // namespace nsp::detail

#endif  // NSP_SRC_CONV_KERNEL_H
