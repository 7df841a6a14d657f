// Real FFT entry points: argument checks, per-size tables built on first use, and the choice of
// kernel for this CPU (made once).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "fft_kernel.h"
#include "nsp.h"

namespace nsp::detail {

void realFftScalar(const FftPlan& p, const float* s, float* d) { FftKernels<Scalar>::realFft(p, s, d); }
void ccsFftScalar(const FftPlan& p, const float* s, float* d) { FftKernels<Scalar>::ccsFft(p, s, d); }
#if defined(NSP_USE_SSE2)
void realFftSse2(const FftPlan& p, const float* s, float* d) { FftKernels<Sse>::realFft(p, s, d); }
void ccsFftSse2(const FftPlan& p, const float* s, float* d) { FftKernels<Sse>::ccsFft(p, s, d); }
#endif

namespace {

constexpr int kMaxOrder = 10;

// W_n^j = e^(-2 pi i j / n) = cos(a) - i sin(a) with a = angle(j, n); j is reduced first.
double angle(long j, long n) { return 2.0 * 3.14159265358979323846 * double(j % n) / double(n); }

struct Kernel {
    FftKernel forward;
    FftKernel inverse;
    int lanes;
};

// The widest kernel that suits the size. Vectors of w lanes need m >= w * w.
Kernel chooseKernel(int order) {
    const int m = 1 << (order - 1);
#if defined(NSP_HAVE_AVX2)
    static const bool avx2 = cpuHasAvx2();
    if (avx2 && m >= 64) return {realFftAvx2, ccsFftAvx2, 8};
    if (avx2 && m >= 16) return {realFftAvx2x4, ccsFftAvx2x4, 4};
#endif
#if defined(NSP_USE_SSE2)
    if (m >= 16) return {realFftSse2, ccsFftSse2, 4};
#endif
    (void)m;
    return {realFftScalar, ccsFftScalar, 1};
}

class Plan {
public:
    explicit Plan(int order) : kernel_(chooseKernel(order)) {
        const long n = 1L << order;
        FftPlan& p = plan_;
        p.m = int(n / 2);
        p.w = kernel_.lanes;
        p.l = p.m / p.w;
        p.scale = float(1.0 / double(n));

        // Radix-4 passes down to a last pass of length 4 or 2.
        int len = p.l;
        for (; len > 4; len /= 4) p.stageLen[p.stages++] = len;
        p.stageLen[p.stages++] = len;

        // Sizes first, then one block of memory carved into aligned tables.
        std::size_t floats = 0;
        for (int i = 0; i + 1 < p.stages; ++i) floats += std::size_t(p.stageLen[i] / 4) * 6 * p.w + 16;
        floats += std::size_t(p.l) * 2 * p.w + 16;  // lane twiddles
        floats += 2 * (std::size_t(p.m) + 16);      // split and merge twiddles
        mem_.assign(floats + 16, 0.0f);
        next_ = mem_.data();

        fillStageTwiddles();
        fillLaneTwiddles();
        fillSplitTwiddles(n);
    }

    void forward(const float* src, float* dst) const { kernel_.forward(plan_, src, dst); }
    void inverse(const float* src, float* dst) const { kernel_.inverse(plan_, src, dst); }

private:
    // The next table of the block, aligned to 64 bytes.
    float* carve(std::size_t count) {
        auto a = (reinterpret_cast<std::uintptr_t>(next_) + 63) & ~std::uintptr_t(63);
        float* t = reinterpret_cast<float*>(a);
        next_ = t + count;
        return t;
    }

    // Per pass but the last, per butterfly q: w1, w2, w3 as a re vector and an im vector each.
    void fillStageTwiddles() {
        FftPlan& p = plan_;
        for (int i = 0; i + 1 < p.stages; ++i) {
            const int len = p.stageLen[i];
            float* t = carve(std::size_t(len / 4) * 6 * p.w);
            p.stageTw[i] = t;
            for (int q = 0; q < len / 4; ++q)
                for (int e = 1; e <= 3; ++e) {
                    const double a = angle(long(e) * q, len);
                    t = std::fill_n(t, p.w, float(std::cos(a)));
                    t = std::fill_n(t, p.w, float(-std::sin(a)));
                }
        }
    }

    void fillLaneTwiddles() {
        FftPlan& p = plan_;
        const int w = p.w;
        float* t = carve(std::size_t(p.l) * 2 * w);
        p.laneTw = t;
        for (int k2 = 0; k2 < p.l; ++k2, t += 2 * w)
            for (int n1 = 0; n1 < w; ++n1) {
                const double a = angle(long(n1) * k2, p.m);
                t[n1] = float(std::cos(a));
                t[w + n1] = float(-std::sin(a));
            }
    }

    // Bins k < m/2 in groups of w: re vector, then im vector.
    void fillSplitTwiddles(long n) {
        FftPlan& p = plan_;
        const int w = p.w;
        float* post = carve(std::size_t(p.m));
        float* pre = carve(std::size_t(p.m));
        p.postTw = post;
        p.preTw = pre;
        for (int k = 0; k < p.m / 2; ++k) {
            const int at = (k / w) * 2 * w + k % w;
            const double a = angle(k, n);
            post[at] = float(-0.5 * std::sin(a));
            post[at + w] = float(-0.5 * std::cos(a));
            pre[at] = float(-std::sin(a) / double(n));
            pre[at + w] = float(std::cos(a) / double(n));
        }
    }

    Kernel kernel_;
    FftPlan plan_;
    std::vector<float> mem_;
    float* next_ = nullptr;
};

template <int Order>
const Plan& planOf() {
    static const Plan plan(Order);
    return plan;
}

// Orders 2..10; a table lookup, then a guard check of the size's own static.
using PlanGetter = const Plan& (*)();
constexpr PlanGetter kPlans[kMaxOrder + 1] = {nullptr,     nullptr,     planOf<2>,  planOf<3>,
                                              planOf<4>,   planOf<5>,   planOf<6>,  planOf<7>,
                                              planOf<8>,   planOf<9>,   planOf<10>};

}  // namespace
}  // namespace nsp::detail

void nspsRealFftNip(const float* src, float* dst, int order, int flags) {
    if (flags != NSP_Forw || order < 0 || order > nsp::detail::kMaxOrder || !src || !dst) return;
    if (order == 0) {
        dst[0] = src[0], dst[1] = 0.0f, dst[2] = 0.0f;
    } else if (order == 1) {
        const float a = src[0], b = src[1];
        dst[0] = a + b, dst[1] = 0.0f, dst[2] = a - b, dst[3] = 0.0f;
    } else {
        nsp::detail::kPlans[order]().forward(src, dst);
    }
}

void nspsCcsFftNip(const float* src, float* dst, int order, int flags) {
    if (flags != NSP_Inv || order < 0 || order > nsp::detail::kMaxOrder || !src || !dst) return;
    if (order == 0) {
        dst[0] = src[0];
    } else if (order == 1) {
        const float a = src[0], b = src[2];
        dst[0] = 0.5f * (a + b), dst[1] = 0.5f * (a - b);
    } else {
        nsp::detail::kPlans[order]().inverse(src, dst);
    }
}
