// Offline throughput of module chains through the engine, against the bare nsp calls of the same
// chain timed in the same run. Method as bench_timing.h: the iteration count doubles until one batch
// lasts at least kMinBatch, the best of kRepeats batches counts, and the engine's and the bare
// batches alternate so that both see the same machine. One change: on a shared machine a batch of
// kMinBatch is seldom left alone for its whole length, so batches here last kShortBatch and many
// more of them are taken (kRepeats * kRounds); the best still counts.
//
// Both chains start at SignalW making white noise, so each block the graph makes itself takes two
// engine steps: the pass that carries it through the chain, and the one that finds nothing more to
// send before the offline clock moves on (nothing here copies or describes blocks per step). Times
// are per block, both passes included:
//   fft-ifft   SignalW -> FFT -> iFFT
//   demo       SignalW -> FFT -> Filter (default band) -> iFFT -> GraphWindow (no window open)
// and the block-stream modules, each after SignalW with its settings at their defaults (Stream:
// 128 samples at the input's rate, by interpolation; Overlap 0; Multiplier of one input), against
// SignalW alone.
// Then the scaling of a chain (SignalW followed by 0, 4, 19 and 49 Filters at 128: engine time per
// block, its least-squares line over the module count and each chain's distance from it), and the
// costs of one block's path taken apart: single site calls as a module makes them (the pin's BSTR made
// once and kept, as modkit's Pin does), a SendOutput to one input, a Process that finds nothing ready,
// and a pass over an empty engine.
// The servers are loaded from beside this program, without registration. Each chain and block size
// gets an engine of its own with the offline clock, so a step runs only the chain measured.
#include <initguid.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bandgate_idl.h"
#include "blockblend_idl.h"
#include "bench_timing.h"
#include "fwdtransform_idl.h"
#include "host/engine/apartment.h"
#include "host/engine/server_library.h"
#include "host/engine/settings_store.h"
#include "host/engine/vento_engine.h"
#include "invtransform_idl.h"
#include "nsp.h"
#include "plotview_idl.h"
#include "reblocker_idl.h"
#include "summer_idl.h"
#include "tonegen_idl.h"

namespace {

using namespace bench;
using Microsoft::WRL::ComPtr;
using vento::Engine;
using vento::Instance;

constexpr wchar_t kPin[] = L"Default";
constexpr float kAmp = 0.8f;
constexpr float kSampleRate = 11025.0f;
constexpr long kWhite = 4; // SignalW's white-noise shape
// The Filter's band when nothing set it (its OnInitialize): bins 0..64, ramp 1.
constexpr long kLoCut = 0, kHiCut = 64, kRamp = 1;
constexpr int kRounds = 40;
constexpr double kShortBatch = 0.001; // seconds

// Best time per call in ns of a and of b, their batches alternating.
template <class A, class B>
std::pair<double, double> timePerCall(A&& a, B&& b)
{
    const long na = batchLength(a, kShortBatch), nb = batchLength(b, kShortBatch);
    double bestA = 1e30, bestB = 1e30;
    for (int r = 0; r < kRepeats * kRounds; ++r) {
        bestA = std::min(bestA, batchSeconds(a, na) / double(na));
        bestB = std::min(bestB, batchSeconds(b, nb) / double(nb));
    }
    return {bestA * 1e9, bestB * 1e9};
}

// The server's class factory. The library stays loaded until the process ends: engines release
// their modules before that.
ComPtr<IClassFactory> factoryOf(const wchar_t* dll, REFCLSID clsid)
{
    static std::vector<std::unique_ptr<vento::ServerLibrary>> loaded;
    return loaded.emplace_back(std::make_unique<vento::ServerLibrary>(vento::programFolder() / dll))->classFactory(clsid);
}

struct Server {
    const wchar_t* dll;
    const CLSID* clsid;
    const wchar_t* name; // null: the engine names it ("Filter1" ...)
};

int orderOf(long n)
{
    int order = 0;
    while ((1L << order) < n) ++order;
    return order;
}

// The Filter's gain for bin i, as the module computes it.
inline float gain(long i)
{
    float g = 1.0f;
    if (i < kLoCut) g = std::max(0.0f, 1.0f - float(kLoCut - i) / float(kRamp));
    if (i > kHiCut) g = std::max(0.0f, 1.0f - float(i - kHiCut) / float(kRamp));
    return g;
}

// The chain's arithmetic on plain buffers, with the calls the modules make.
struct Bare {
    long n;
    int order;
    bool filter;
    int stages; // how many of source, forward, [band], inverse block() runs
    NSPSRandUniState noise{};
    std::vector<float> samples, spectrum, filtered, back;

    Bare(long size, bool withFilter, int stageCount = 4)
        : n(size), order(orderOf(size)), filter(withFilter), stages(stageCount), samples(size), spectrum(size + 2),
          filtered(size + 2), back(size)
    {
        nspsRandUniInit(0.0f, -kAmp, kAmp, &noise);
    }
    void source()
    {
        nspsbRandUni(&noise, samples.data(), int(n));
        // SignalW clips to [-1, 1]: module arithmetic, so counted here too.
        for (float& v : samples) v = std::clamp(v, -1.0f, 1.0f);
    }
    void forward() { nspsRealFftNip(samples.data(), spectrum.data(), order, NSP_Forw); }
    void band()
    {
        for (long i = 0; i < (n + 2) / 2; ++i) {
            const float g = gain(i);
            filtered[2 * i] = g * spectrum[2 * i];
            filtered[2 * i + 1] = g * spectrum[2 * i + 1];
        }
    }
    void inverse() { nspsCcsFftNip(filter ? filtered.data() : spectrum.data(), back.data(), order, NSP_Inv); }
    void block()
    {
        if (stages < 1) return;
        source();
        if (stages < 2) return;
        forward();
        int done = 2;
        if (filter && stages > done++) band();
        if (stages > done) inverse();
    }
};

struct Row {
    const char* chain;
    long n;
    double engineNs, bareNs, blocksPerStep;
};

// SignalW making white noise in blocks of n.
void loadSource(Instance& tone, long n)
{
    auto settings = modkit::make<vento::SettingsStore>();
    for (auto [name, value] : {std::pair{L"Amp", kAmp}, {L"Freq", 0.0f}, {L"Phase", 0.0f}, {L"Shape", float(kWhite)},
                               {L"SampleRate", kSampleRate}, {L"BlockSize", float(n)}})
        settings->setFloat(name, value);
    modkit::check(tone.module->LoadSettings(settings.Get()));
}

// Steps of the chain through an engine of its own, against `bare` running the chain's calls.
Row run(const char* chainName, const std::vector<Server>& chain, long n, Bare& bare)
{
    Engine engine(std::make_unique<vento::OfflineClock>());
    std::vector<Instance*> modules;
    for (const Server& s : chain) {
        Instance& instance = engine.create(*factoryOf(s.dll, *s.clsid).Get(), s.name ? s.name : L"");
        modkit::check(instance.module->Initialize());
        modules.push_back(&instance);
    }
    loadSource(*modules.front(), n);
    for (size_t i = 1; i < modules.size(); ++i) engine.connect(*modules[i - 1], kPin, *modules[i], kPin);
    engine.start();

    // Past the source's first due time and every first-block resize and property parse.
    for (int i = 0; i < 16; ++i) engine.step();
    const vento::OutputPin& end = *modules.back()->core->findOutput(kPin);

    long steps = 0;
    const long sendsBefore = end.sends();
    const auto [stepNs, bareNs] = timePerCall(
        [&] {
            engine.step();
            ++steps;
        },
        [&] { bare.block(); });
    const double blocksPerStep = double(end.sends() - sendsBefore) / double(steps);
    engine.stop();
    return {chainName, n, stepNs / blocksPerStep, bareNs, blocksPerStep};
}


// Chains of SignalW and Filters (the Filter passes any block through, scaled per bin): linear cost in
// the number of modules is what the engine owes.
void scaling(const Server& tone, const Server& band)
{
    std::printf("\nscaling: SignalW then Filters, block 128 (us per block)\n");
    std::printf("%8s %10s %10s\n", "modules", "engine", "off line");
    const long sizes[] = {1, 5, 20, 50};
    std::vector<double> us;
    for (long m : sizes) {
        std::vector<Server> chain{tone};
        for (long i = 1; i < m; ++i) chain.push_back({band.dll, band.clsid, nullptr}); // named by the engine
        Bare source(128, false, 1);
        us.push_back(run("scaling", chain, 128, source).engineNs * 1e-3);
    }
    // Least squares: us = a + b * modules.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double k = double(us.size());
    for (size_t i = 0; i < us.size(); ++i) {
        sx += double(sizes[i]);
        sy += us[i];
        sxx += double(sizes[i]) * double(sizes[i]);
        sxy += double(sizes[i]) * us[i];
    }
    const double slope = (k * sxy - sx * sy) / (k * sxx - sx * sx), at0 = (sy - slope * sx) / k;
    for (size_t i = 0; i < us.size(); ++i) {
        const double fit = at0 + slope * double(sizes[i]);
        std::printf("%8ld %10.2f %+9.1f%%\n", sizes[i], us[i], 100.0 * (us[i] - fit) / fit);
    }
    std::printf("slope %.3f us per module, %.3f us at 0 modules\n", slope, at0);
}

// One site call as a module makes it, timed alone.
template <class F>
void printCall(const char* what, F&& call)
{
    const long n = batchLength(call, kShortBatch);
    double best = 1e30;
    for (int r = 0; r < kRepeats * kRounds; ++r) best = std::min(best, batchSeconds(call, n) / double(n));
    std::printf("%-52s %8.1f\n", what, best * 1e9);
}

// The parts of one block's path, each timed alone (ns per call).
void siteCalls(const Server& tone, const Server& fft, const Server& band)
{
    std::printf("\nparts of a block's path (ns per call)\n");
    for (long n : {128L, 1024L}) {
        Engine engine(std::make_unique<vento::OfflineClock>());
        Instance& source = engine.create(*factoryOf(tone.dll, *tone.clsid).Get(), tone.name);
        Instance& filter = engine.create(*factoryOf(band.dll, *band.clsid).Get(), band.name);
        Instance& transform = engine.create(*factoryOf(fft.dll, *fft.clsid).Get(), fft.name);
        for (Instance* i : {&source, &filter, &transform}) modkit::check(i->module->Initialize());
        loadSource(source, n);
        engine.connect(source, kPin, filter, kPin);
        engine.start();
        for (int i = 0; i < 16; ++i) engine.step();

        IModuleSite* out = source.core->site();
        IModuleSite* in = filter.core->site();
        const modkit::Bstr pin(kPin); // kept, as a module keeps its pin names
        LONG value = 0;
        LONGLONG ticks = 0;
        SignalBlock* record = nullptr;
        char what[64];
        if (n == 128) {
            printCall("GetTime", [&] { in->GetTime(&ticks); });
            printCall("IsInputReady", [&] { in->IsInputReady(pin.get(), &value); });
            printCall("GetInputCount", [&] { in->GetInputCount(pin.get(), &value); });
            printCall("GetInputBlockAt", [&] { in->GetInputBlockAt(pin.get(), 0, &record); });
            printCall("GetInputBlock", [&] { in->GetInputBlock(pin.get(), &record); });
            printCall("GetOutputBlock", [&] { out->GetOutputBlock(pin.get(), &record); });
            // FFT with nothing connected: the entry point, the document check and the readiness.
            printCall("FFT Process, nothing ready", [&] { transform.module->Process(); });
        }
        std::snprintf(what, sizeof what, "SendOutput, %ld floats to one input", n);
        printCall(what, [&] { out->SendOutput(pin.get()); });
        engine.stop();
    }
    Engine empty(std::make_unique<vento::OfflineClock>());
    printCall("pass over an empty engine", [&] { empty.step(); });
}

// Where the overhead goes: the demo chain grown one module at a time. What a module adds to
// (engine - bare) is its share: its Process, pins and documents, and its place in step().
void growDemo(const std::vector<Server>& demo)
{
    std::printf("\ndemo chain grown one module at a time (us per block)\n");
    std::printf("%-24s %6s %10s %10s %12s %12s\n", "chain", "block", "engine", "bare", "engine-bare", "added");
    const char* names[] = {"tone", "tone>fft", "tone>fft>band", "tone>fft>band>ifft", "tone>...>scope"};
    for (long n : {128L, 1024L}) {
        double before = 0.0;
        for (size_t k = 1; k <= demo.size(); ++k) {
            Bare partial(n, true, int(std::min<size_t>(k, 4)));
            const Row r = run(names[k - 1], {demo.begin(), demo.begin() + long(k)}, n, partial);
            const double extra = r.engineNs - r.bareNs;
            std::printf("%-24s %6ld %10.2f %10.2f %12.2f %12.2f\n", names[k - 1], n, r.engineNs * 1e-3,
                        r.bareNs * 1e-3, extra * 1e-3, (extra - before) * 1e-3);
            before = extra;
        }
    }
}

void blockStreams(const Server& tone)
{
    std::printf("\nblock-stream modules after the source (us per block; added: over the source alone)\n");
    std::printf("%-24s %6s %10s %10s\n", "chain", "block", "engine", "added");
    const Server streams[] = {{L"reblocker.dll", &CLSID_StreamModule, L"stream"},
                              {L"blockblend.dll", &CLSID_OverlapModule, L"overlap"},
                              {L"summer.dll", &CLSID_MultiplierModule, L"multiplier"}};
    Bare source(128, false, 1);
    const Row alone = run("tone", {tone}, 128, source);
    std::printf("%-24s %6d %10.2f\n", "tone", 128, alone.engineNs * 1e-3);
    for (const Server& s : streams) {
        const std::string name = "tone>" + std::string(s.name, s.name + std::wcslen(s.name));
        const Row r = run(name.c_str(), {tone, s}, 128, source);
        std::printf("%-24s %6d %10.2f %10.2f\n", name.c_str(), 128, r.engineNs * 1e-3, (r.engineNs - alone.engineNs) * 1e-3);
    }
}

} // namespace

int main()
{
    try {
        vento::ComApartment apartment;
        const Server tone{L"tonegen.dll", &CLSID_SignalWModule, L"tone"};
        const Server fft{L"fwdtransform.dll", &CLSID_FFTModule, L"fft"};
        const Server band{L"bandgate.dll", &CLSID_FilterModule, L"band"};
        const Server ifft{L"invtransform.dll", &CLSID_iFFTModule, L"ifft"};
        const Server scope{L"plotview.dll", &CLSID_GraphWindowModule, L"scope"};

        std::vector<Row> rows;
        for (long n : {128L, 1024L}) {
            Bare plain(n, false), filtered(n, true);
            rows.push_back(run("fft-ifft", {tone, fft, ifft}, n, plain));
            rows.push_back(run("demo", {tone, fft, band, ifft, scope}, n, filtered));
        }
        std::printf("%-9s %6s %12s %12s %12s %9s\n", "chain", "block", "engine us", "bare nsp us", "blocks/s",
                    "overhead");
        for (const Row& r : rows)
            std::printf("%-9s %6ld %12.2f %12.2f %12.0f %8.2fx\n", r.chain, r.n, r.engineNs * 1e-3, r.bareNs * 1e-3,
                        1e9 / r.engineNs, r.engineNs / r.bareNs);
        for (const Row& r : rows)
            if (std::abs(r.blocksPerStep - 0.5) > 1e-9)
                std::printf("note: %s %ld delivered %.3f blocks per step\n", r.chain, r.n, r.blocksPerStep);

        growDemo({tone, fft, band, ifft, scope});
        blockStreams(tone);

        scaling(tone, band);
        siteCalls(tone, fft, band);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "engine_bench: %s\n", e.what());
        return 1;
    }
}
