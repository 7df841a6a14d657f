// The real FFT kernels, written once over a vector type V (see fft_simd.h and fft_plan.h).
// Included by one source file per instruction set; everything has internal linkage.
#ifndef NSP_SRC_FFT_KERNEL_H
#define NSP_SRC_FFT_KERNEL_H

#include <cstdint>

#include "fft_plan.h"
#include "fft_simd.h"

namespace nsp::detail {
namespace {

template <class V>
struct FftKernels {
    using T = typename V::T;
    static constexpr int W = V::W;
    static constexpr int kMaxM = 512;
    // Scratch for one call: Stockham vectors (2m floats) or split planes with one vector of
    // padding each (2m + 2w floats), plus room to align by hand.
    static constexpr int kBuf = 2 * kMaxM + 2 * W + 16;

    struct Cx {
        T re, im;
    };

    static Cx cadd(Cx a, Cx b) { return {V::add(a.re, b.re), V::add(a.im, b.im)}; }
    static Cx csub(Cx a, Cx b) { return {V::sub(a.re, b.re), V::sub(a.im, b.im)}; }
    static Cx cmul(Cx a, Cx w) {
        return {V::fmsub(a.re, w.re, V::mul(a.im, w.im)), V::fmadd(a.re, w.im, V::mul(a.im, w.re))};
    }
    // a - i*b and a + i*b
    static Cx subI(Cx a, Cx b) { return {V::add(a.re, b.im), V::sub(a.im, b.re)}; }
    static Cx addI(Cx a, Cx b) { return {V::sub(a.re, b.im), V::add(a.im, b.re)}; }

    static float* align(float* p) {
        return reinterpret_cast<float*>((reinterpret_cast<std::uintptr_t>(p) + 63) & ~std::uintptr_t(63));
    }

    // ---- Sources of the first Stockham pass (vector index -> W complex points) ----

    struct BlockIn {  // Stockham layout: vector i is W re floats followed by W im floats
        const float* p;
        Cx operator()(int i) const { return {V::load(p + 2 * W * i), V::load(p + 2 * W * i + W)}; }
    };
    struct PlanesIn {  // split planes
        const float* re;
        const float* im;
        Cx operator()(int i) const { return {V::load(re + W * i), V::load(im + W * i)}; }
    };
    struct RealIn {  // real samples: even ones are the real parts, odd ones the imaginary parts
        const float* x;
        Cx operator()(int i) const {
            Cx c;
            V::deinterleave(x + 2 * W * i, c.re, c.im);
            return c;
        }
    };

    static void put(float* out, int i, Cx c) {
        V::store(out + 2 * W * i, c.re);
        V::store(out + 2 * W * i + W, c.im);
    }

    // ---- Stockham passes over whole vectors (each lane is its own transform) ----

    // Length n, stride s: reads x[q + s(p + j n/4)], writes y[q + s(4p + r)].
    template <class In>
    static void radix4(In in, float* out, const float* tw, int n, int s) {
        const int m = n / 4;
        for (int p = 0; p < m; ++p, tw += 6 * W) {
            const Cx w1{V::load(tw), V::load(tw + W)};
            const Cx w2{V::load(tw + 2 * W), V::load(tw + 3 * W)};
            const Cx w3{V::load(tw + 4 * W), V::load(tw + 5 * W)};
            for (int q = 0; q < s; ++q) {
                const Cx a = in(q + s * p), b = in(q + s * (p + m));
                const Cx c = in(q + s * (p + 2 * m)), d = in(q + s * (p + 3 * m));
                const Cx apc = cadd(a, c), amc = csub(a, c), bpd = cadd(b, d), bmd = csub(b, d);
                const int o = q + s * 4 * p;
                put(out, o, cadd(apc, bpd));
                put(out, o + s, cmul(subI(amc, bmd), w1));
                put(out, o + 2 * s, cmul(csub(apc, bpd), w2));
                put(out, o + 3 * s, cmul(addI(amc, bmd), w3));
            }
        }
    }

    // The last pass (length 4 or 2) has unit twiddles.
    template <class In>
    static void last4(In in, float* out, int s) {
        for (int q = 0; q < s; ++q) {
            const Cx a = in(q), b = in(q + s), c = in(q + 2 * s), d = in(q + 3 * s);
            const Cx apc = cadd(a, c), amc = csub(a, c), bpd = cadd(b, d), bmd = csub(b, d);
            put(out, q, cadd(apc, bpd));
            put(out, q + s, subI(amc, bmd));
            put(out, q + 2 * s, csub(apc, bpd));
            put(out, q + 3 * s, addI(amc, bmd));
        }
    }
    template <class In>
    static void last2(In in, float* out, int s) {
        for (int q = 0; q < s; ++q) {
            const Cx a = in(q), b = in(q + s);
            put(out, q, cadd(a, b));
            put(out, q + s, csub(a, b));
        }
    }

    template <class In>
    static void pass(const FftPlan& P, int i, int s, In in, float* out) {
        const int n = P.stageLen[i];
        if (i + 1 < P.stages)
            radix4(in, out, P.stageTw[i], n, s);
        else if (n == 4)
            last4(in, out, s);
        else
            last2(in, out, s);
    }

    // All vertical passes; returns the buffer holding the result (natural order per lane).
    template <class In>
    static float* vertical(const FftPlan& P, In first, float* b0, float* b1) {
        float* bufs[2] = {b0, b1};
        int s = 1;
        pass(P, 0, s, first, bufs[0]);
        for (int i = 1; i < P.stages; ++i) {
            s *= 4;  // every pass but the last is radix 4
            pass(P, i, s, BlockIn{bufs[(i - 1) & 1]}, bufs[i & 1]);
        }
        return bufs[(P.stages - 1) & 1];
    }

    // ---- Across the lanes: twiddle, transpose, W-point transform ----

    static void dft(T* re, T* im) {
        if constexpr (W == 4) {
            const Cx a{re[0], im[0]}, b{re[1], im[1]}, c{re[2], im[2]}, d{re[3], im[3]};
            const Cx apc = cadd(a, c), amc = csub(a, c), bpd = cadd(b, d), bmd = csub(b, d);
            const Cx y0 = cadd(apc, bpd), y1 = subI(amc, bmd), y2 = csub(apc, bpd), y3 = addI(amc, bmd);
            re[0] = y0.re, im[0] = y0.im, re[1] = y1.re, im[1] = y1.im;
            re[2] = y2.re, im[2] = y2.im, re[3] = y3.re, im[3] = y3.im;
        } else if constexpr (W == 8) {
            Cx x[8];
            for (int i = 0; i < 8; ++i) x[i] = {re[i], im[i]};
            // Even and odd halves by 4-point transforms, then one radix-2 step with W_8^k.
            Cx e[4], o[4];
            for (int h = 0; h < 2; ++h) {
                Cx* y = h ? o : e;
                const Cx a = x[h], b = x[h + 2], c = x[h + 4], d = x[h + 6];
                const Cx apc = cadd(a, c), amc = csub(a, c), bpd = cadd(b, d), bmd = csub(b, d);
                y[0] = cadd(apc, bpd), y[1] = subI(amc, bmd), y[2] = csub(apc, bpd), y[3] = addI(amc, bmd);
            }
            const T r = V::set1(0.70710678118654752f);
            const Cx o1{V::mul(V::add(o[1].re, o[1].im), r), V::mul(V::sub(o[1].im, o[1].re), r)};
            const Cx o2{o[2].im, V::sub(V::set1(0.0f), o[2].re)};
            const Cx o3{V::mul(V::sub(o[3].im, o[3].re), r), V::mul(V::add(o[3].re, o[3].im), V::set1(-0.70710678118654752f))};
            const Cx t[4] = {o[0], o1, o2, o3};
            for (int k = 0; k < 4; ++k) {
                const Cx lo = cadd(e[k], t[k]), hi = csub(e[k], t[k]);
                re[k] = lo.re, im[k] = lo.im, re[k + 4] = hi.re, im[k + 4] = hi.im;
            }
        }
    }

    struct PlanesOut {
        float* re;
        float* im;
        void operator()(int i, T r, T m) const { V::store(re + i, r), V::store(im + i, m); }
    };
    struct SwappedRealOut {  // inverse: the transform ran on swapped re/im, which undoes here
        float* x;
        void operator()(int i, T r, T m) const { V::interleave(x + 2 * i, m, r); }
    };

    template <class Out>
    static void across(const FftPlan& P, const float* y, Out out) {
        const int l = P.l;
        for (int g = 0; g < l; g += W) {
            T re[W], im[W];
            for (int j = 0; j < W; ++j) {
                Cx c{V::load(y + 2 * W * (g + j)), V::load(y + 2 * W * (g + j) + W)};
                if constexpr (W > 1) {
                    const float* t = P.laneTw + 2 * W * (g + j);
                    c = cmul(c, Cx{V::load(t), V::load(t + W)});
                }
                re[j] = c.re, im[j] = c.im;
            }
            V::transpose(re);
            V::transpose(im);
            dft(re, im);
            for (int k = 0; k < W; ++k) out(l * k + g, re[k], im[k]);
        }
    }

    // ---- The transforms ----

    static void realFft(const FftPlan& P, const float* x, float* X) {
        float raw0[kBuf], raw1[kBuf];
        float* b0 = align(raw0);
        float* b1 = align(raw1);
        const int m = P.m;
        const float* y = vertical(P, RealIn{x}, b0, b1);
        float* zre = y == b0 ? b1 : b0;
        float* zim = zre + m + W;
        across(P, y, PlanesOut{zre, zim});
        zre[m] = zre[0], zim[m] = zim[0];  // Z[m] = Z[0] for the partner of bin 0

        // Split the spectra: with A = Z[k], B = conj Z[m-k], H = (A + B)/2, G = T_k (A - B):
        // X[k] = H + G and X[m-k] = conj(H - G).
        const T half = V::set1(0.5f);
        for (int kb = 0; kb < m / 2; kb += W) {
            const Cx a{V::load(zre + kb), V::load(zim + kb)};
            const Cx b{V::reverse(V::loadu(zre + m - kb - W + 1)), V::reverse(V::loadu(zim + m - kb - W + 1))};
            const Cx h{V::mul(V::add(a.re, b.re), half), V::mul(V::sub(a.im, b.im), half)};
            const Cx d{V::sub(a.re, b.re), V::add(a.im, b.im)};
            const float* t = P.postTw + 2 * kb;
            const Cx g = cmul(d, Cx{V::load(t), V::load(t + W)});
            V::interleave(X + 2 * kb, V::add(h.re, g.re), V::add(h.im, g.im));
            V::interleave(X + 2 * (m - kb - W + 1), V::reverse(V::sub(h.re, g.re)), V::reverse(V::sub(g.im, h.im)));
        }
        X[m] = zre[m / 2], X[m + 1] = -zim[m / 2];
        X[1] = 0.0f, X[2 * m + 1] = 0.0f;
    }

    static void ccsFft(const FftPlan& P, const float* X, float* x) {
        float raw0[kBuf], raw1[kBuf];
        float* b0 = align(raw0);
        float* b1 = align(raw1);
        const int m = P.m;
        // Merge into Z/m (the inverse of the split above, with the 1/N folded in), stored with re
        // and im swapped: a forward transform of swapped data is the inverse transform, swapped.
        float* zre = b1 + m + W;  // planes as the forward transform sees them
        float* zim = b1;
        const T c = V::set1(P.scale);
        for (int kb = 0; kb < m / 2; kb += W) {
            Cx a, b;
            V::deinterleave(X + 2 * kb, a.re, a.im);
            V::deinterleave(X + 2 * (m - kb - W + 1), b.re, b.im);
            b.re = V::reverse(b.re), b.im = V::reverse(b.im);
            // s = X[k] + conj X[m-k], d = X[k] - conj X[m-k]
            const Cx cs{V::mul(V::add(a.re, b.re), c), V::mul(V::sub(a.im, b.im), c)};
            const Cx d{V::sub(a.re, b.re), V::add(a.im, b.im)};
            const float* t = P.preTw + 2 * kb;
            const Cx u = cmul(d, Cx{V::load(t), V::load(t + W)});
            // Z[k] = cs + u, Z[m-k] = conj(cs - u); written swapped.
            V::store(zim + kb, V::add(cs.re, u.re));
            V::store(zre + kb, V::add(cs.im, u.im));
            V::storeu(zim + m - kb - W + 1, V::reverse(V::sub(cs.re, u.re)));
            V::storeu(zre + m - kb - W + 1, V::reverse(V::sub(u.im, cs.im)));
        }
        // Bins 0 and m/2 (imaginary parts of bins 0 and N/2 are not part of the input).
        zim[0] = (X[0] + X[2 * m]) * P.scale;
        zre[0] = (X[0] - X[2 * m]) * P.scale;
        zim[m / 2] = 2 * X[m] * P.scale;
        zre[m / 2] = -2 * X[m + 1] * P.scale;

        const float* y = vertical(P, PlanesIn{zre, zim}, b0, b1);
        across(P, y, SwappedRealOut{x});
    }
};

}  // namespace
}  // namespace nsp::detail

#endif  // NSP_SRC_FFT_KERNEL_H
