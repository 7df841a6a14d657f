// nsp: the signal-processing kernels the modules call.
//
// Portable C++ (no platform header). Every kernel is a plain function: whatever it needs per size
// (twiddle tables and the like) is built once, on first use, and shared by all threads; a call
// itself never allocates. Invalid arguments make a call do nothing: it writes no output.
#ifndef NSP_NSP_H
#define NSP_NSP_H

// ---- Flags ------------------------------------------------------------------------------------

enum : int { NSP_Forw = 1, NSP_Inv = 2 };

// ---- Real FFT ---------------------------------------------------------------------------------
//
// Sizes N = 2^order, order 0..10 (1 to 1024 samples). A spectrum is kept in the conjugate-symmetric
// ("CCS") layout: the bins 0..N/2 as interleaved pairs re0, im0, re1, im1, ..., re(N/2), im(N/2),
// that is N+2 floats. The bins above N/2 are the conjugates of these and are not stored.
// The forward transform is unscaled, X[k] = sum_n x[n] e^(-2 pi i k n / N); the inverse scales by
// 1/N, so inverse(forward(x)) == x up to rounding. src and dst must not overlap; src is only read.
// An order outside 0..10 or a flag other than the one named makes the call a no-op.

// Forward: N real samples in src -> N/2+1 bins (N+2 floats) in dst. im0 and im(N/2) are exactly 0.
void nspsRealFftNip(const float* src, float* dst, int order, int flags);  // flags: NSP_Forw

// Inverse: N/2+1 bins (N+2 floats) in src -> N real samples in dst, scaled by 1/N.
// The imaginary parts of bins 0 and N/2 are ignored.
void nspsCcsFftNip(const float* src, float* dst, int order, int flags);  // flags: NSP_Inv

// ---- Linear convolution -----------------------------------------------------------------------
//
// The full linear convolution of x (xLen samples) and h (hLen samples), unscaled:
//   y[k] = sum over j of x[j] * h[k - j],  k = 0 .. xLen + hLen - 2,
// that is xLen + hLen - 1 floats in y; x and h are only read and play symmetric roles. y should not
// overlap x or h (if it does, the result is still right but goes through a temporary, which
// allocates). xLen or hLen <= 0, or a null pointer, makes the call a no-op.
// Short operands are convolved directly, longer ones by blocks of real FFTs; either way the error
// is a few float roundings of sqrt(sum x^2 * sum h^2), the bound of any |y[k]|. No allocation while
// the shorter operand has at most 1024 samples (any length of the other); beyond that a call
// allocates its work space.
void nspsConv(const float* x, int xLen, const float* h, int hLen, float* y);

// ---- Uniform random numbers -------------------------------------------------------------------
//
// A seeded stream of uniformly distributed floats between two bounds. The generator is PCG32
// (64-bit linear congruential state, 32-bit permuted output): small, fast and of good statistical
// quality. Each value takes the top 24 bits of one output, u in [0, 1) in steps of 2^-24, and is
// low + (high - low) * u rounded to float. For finite bounds every value lies between them, both
// included (they may come in either order; equal bounds give that value). Integer arithmetic and one double-precision
// multiply-add per value make the stream the same on every platform with IEEE double arithmetic.

typedef struct NSPSRandUniState {
    unsigned long long state;  // generator state, advanced by every value drawn
    double low;                // lower bound as given
    double span;               // high - low
} NSPSRandUniState;

// Starts `state` over: the same seed and bounds always give the same stream, from the first value.
// The seed's value picks the stream (0.0 and -0.0 are the same seed). A null state is ignored.
void nspsRandUniInit(float seed, float low, float high, NSPSRandUniState* state);

// Writes the next `count` values of the stream to samples and advances the state past them.
// Answers the last value written; 0 when it writes none (count <= 0, or a null pointer).
float nspsbRandUni(NSPSRandUniState* state, float* samples, int count);

// ---- FIR filters --------------------------------------------------------------------------------
//
// Window designs of linear-phase FIR filters, in double precision, and single-precision filtering
// that runs on from block to block. Frequencies are normalised to the sample rate (cycles per
// sample): 0.5 is half the sample rate.

// Windows for the designs. A Hamming window suits filters of 20 to 100 taps: its stopband lies
// about 50 dB below the passband, with a transition about 3.3 / taps wide.
enum : int {
    NSP_WinHamming = 0,   // 0.54 - 0.46 cos: stopband about 50 dB down
    NSP_WinHann = 1,      // 0.5 - 0.5 cos: about 44 dB, falling away faster further out
    NSP_WinBlackman = 2,  // 0.42 - 0.5 cos + 0.08 cos 2: about 74 dB, transition about 5.5 / taps
    NSP_WinRect = 3       // no window: about 21 dB, the narrowest transition
};

// Each design writes `tapsLen` coefficients h[0 .. tapsLen) into `taps`: the ideal response of the
// band, centred on (tapsLen - 1) / 2 and shaped by the window. With `normalize` nonzero they are
// scaled so that the passband gain is exactly 1 where it is defined:
//   low pass: at 0 (the coefficients add up to 1);
//   high pass: at half the sample rate;
//   band pass: at the centre of the band, (low + high) / 2;
// with `normalize` 0 they are left as designed (the gain then falls short of 1 by the window's
// ripple). A symmetric filter of an even number of taps cannot pass half the sample rate, so an
// even-length high pass is designed on tapsLen - 1 taps and its last coefficient is 0.
// Answers 0; a negative value, writing nothing, for a null buffer, tapsLen <= 0, a window not in the
// list, or cut-offs outside 0 < cutoff < 0.5 (0 < low < high < 0.5 for the band pass).
int nspdFirLowpass(double cutoff, double* taps, int tapsLen, int window, int normalize);
int nspdFirHighpass(double cutoff, double* taps, int tapsLen, int window, int normalize);
int nspdFirBandpass(double low, double high, double* taps, int tapsLen, int window, int normalize);

// A filter ready to run: its coefficients and its delay line (the last input samples). Start from a
// zeroed state ({}); nspFirFree releases it again.
typedef struct NSPFirState {
    int tapsLen;  // coefficients; 0 while the state holds no filter
    void* impl;   // what nspsFirInit allocated
} NSPFirState;

// Copies `tapsLen` coefficients and the delay line into `state`, releasing any filter it held. The
// delay line is the stretch of input just before the first sample to be filtered, oldest first:
// tapsLen values, of which a filter of tapsLen taps reaches the last tapsLen - 1 (null: silence).
// The caller's arrays are not kept. Answers 0; a negative value, leaving the state empty, for a null
// state or coefficients, tapsLen <= 0 or no memory. This call allocates; the filtering never does.
int nspsFirInit(const float* taps, int tapsLen, const float* dlyLine, NSPFirState* state);

// Filters `count` samples of src into dst, dst[i] = sum over k of h[k] * x[i - k], where the samples
// before src come from the delay line, which then moves on past them: a signal filtered in blocks
// of any sizes gives the same output as when filtered in one. dst may be src (in place) but must
// not otherwise overlap it. An empty state, a null pointer or count <= 0 make the call a no-op.
void nspsbFir(NSPFirState* state, const float* src, float* dst, int count);

// Releases what nspsFirInit allocated; the state is then empty. A null or empty state is ignored.
void nspFirFree(NSPFirState* state);

#endif  // NSP_NSP_H
