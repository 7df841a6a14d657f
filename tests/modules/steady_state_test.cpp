// Every module in a steady state, counted: what one block costs the engine and the XML component.
//
// Each server's module runs in a chain of real servers on the engine (SignalW feeding it, an FFT
// between for the spectral modules, the Sweep for the Spectrum's frequency), on a clock moved by one
// block of 128 samples at 11025 per second a step. Once the chain has settled, every step sends the
// same document along, so no module may load a document again (a parse of the document costs more
// than the block's arithmetic), and each module makes no more engine calls per step than it does
// today. A change that adds per-block work fails here, not in a benchmark nobody ran.
#include "module_test.h"
#include <filesystem>
#include <numeric>
#include <sstream>
#include "bmp_files.h"
#include "document_loads.h"
#include "host/engine/settings_store.h"
#include "server_identities.h"
#include "wave_files.h"

namespace {

namespace fs = std::filesystem;
using vento::test::DocumentLoads;
using vento::test::ServerIdentity;

// Modules in a row, each feeding the next, the last one into `input` of the module counted.
struct Feed {
    std::vector<const wchar_t*> chain; // deliverables
    const wchar_t* input = L"Default";
};

struct Row {
    const wchar_t* deliverable;
    std::vector<Feed> feeds;   // none: a source
    double callsPerStep;       // the ceiling: today's count
    const wchar_t* fileName{}; // a file it plays or shows (FileName)
};

const Row rows[] = {
    {L"fwdtransform", {{{L"tonegen"}}}, 6},
    {L"invtransform", {{{L"tonegen", L"fwdtransform"}}}, 6},
    {L"modulus", {{{L"tonegen", L"fwdtransform"}}}, 6},
    {L"bandgate", {{{L"tonegen", L"fwdtransform"}}}, 6},
    {L"kernelapply", {{{L"tonegen"}, L"Signal"}, {{L"tonegen"}, L"Convolution"}}, 7},
    {L"reblocker", {{{L"tonegen"}}}, 6},
    {L"blockblend", {{{L"tonegen"}}}, 6},
    {L"summer", {{{L"tonegen"}}, {{L"tonegen"}}}, 10},
    {L"tonegen", {}, 4},
    {L"rampgen", {}, 3},
    {L"gainchart", {{{L"rampgen"}, L"Frequency"}, {{L"tonegen"}, L"Signal"}}, 5},
    {L"tapfilter", {{{L"tonegen"}}}, 6},
    {L"taperec", {{{L"tonegen"}}}, 6},
    {L"soundfile", {}, 2, L"tone.wav"},
    {L"bitmapio", {}, 0, L"picture.bmp"},
    {L"plotview", {{{L"tonegen"}}}, 6},
    {L"picview", {{{L"tonegen"}}}, 6},
};

const ServerIdentity& identity(std::wstring_view deliverable)
{
    for (const ServerIdentity& s : builtServers)
        if (deliverable == s.deliverable) return s;
    throw std::logic_error("no server " + std::string(deliverable.begin(), deliverable.end()));
}

CLSID classOf(std::wstring_view deliverable)
{
    CLSID id{};
    if (FAILED(CLSIDFromString(identity(deliverable).clsid, &id))) throw std::logic_error("bad class id");
    return id;
}

std::wstring dllOf(std::wstring_view deliverable) { return std::wstring(deliverable) + L".dll"; }

std::string narrow(std::wstring_view text) { return std::string(text.begin(), text.end()); }

// The files the file modules play, made once.
struct Files {
    fs::path folder = fs::temp_directory_path() / "vento_steady_state";
    Files()
    {
        fs::remove_all(folder);
        fs::create_directories(folder);
        // Longer than the run: the file's end, which publishes a new document, is not reached.
        vento::test::writeMonoWave(folder / "tone.wav", 11025, 11025 * 60);
        vento::test::BmpSpec picture;
        picture.width = 8;
        picture.height = 4;
        picture.pixel = [](int x, int row) { return std::uint32_t(x * 30 | row * 60 << 8); };
        vento::test::writeBytes((folder / "picture.bmp").wstring(), vento::test::makeBmp(picture));
    }
    ~Files() { fs::remove_all(folder); }
};

class SteadyState : public ::testing::TestWithParam<Row> {};

TEST_P(SteadyState, ABlockLoadsNoDocumentAndMakesNoMoreEngineCallsThanToday)
{
    static Files files;
    const Row& row = GetParam();
    ModuleHarness h(dllOf(row.deliverable).c_str(), classOf(row.deliverable));
    vento::Engine& engine = h.engine();
    ASSERT_EQ(S_OK, h.initialize());
    for (const Feed& feed : row.feeds) {
        vento::Instance* previous = nullptr;
        for (const wchar_t* deliverable : feed.chain) {
            vento::Instance& stage = h.addModule(dllOf(deliverable).c_str(), classOf(deliverable));
            ASSERT_EQ(S_OK, stage.module->Initialize());
            if (previous) engine.connect(*previous, L"Default", stage, L"Default");
            previous = &stage;
        }
        engine.connect(*previous, L"Default", h.instance(), feed.input);
    }
    if (row.fileName) {
        auto store = modkit::make<vento::SettingsStore>();
        store->setString(L"FileName", (files.folder / row.fileName).wstring());
        ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    }
    engine.start();
    // One block of the sources a step: a step later than the block interval.
    const LONGLONG step = h.clock().frequency() * 128 / 11025 + 1;
    auto run = [&](int steps) {
        for (int i = 0; i < steps; ++i) {
            h.clock().advance(step);
            engine.step();
        }
    };
    run(32); // documents published, files opened, outputs sized

    constexpr int measured = 200;
    DocumentLoads loads;
    h.calls().reset();
    const long sentBefore = std::accumulate(h.core().outputs().begin(), h.core().outputs().end(), 0L,
                                            [](long n, const auto& out) { return n + out.second.sends(); });
    run(measured);
    const long sent = std::accumulate(h.core().outputs().begin(), h.core().outputs().end(), 0L,
                                      [](long n, const auto& out) { return n + out.second.sends(); }) - sentBefore;
    engine.stop();

    long calls = 0;
    std::ostringstream breakdown;
    for (std::size_t c = 1; c < vento::siteCallSlots; ++c) {
        const long n = h.calls().count(SiteCall(c));
        if (n == 0) continue;
        calls += n;
        breakdown << " " << SiteCall(c) << " " << double(n) / measured;
    }
    const double perStep = double(calls) / measured;
    EXPECT_EQ(0, loads.count()) << "documents loaded in " << measured << " steps of an unchanged input";
    EXPECT_LE(perStep, row.callsPerStep) << "engine calls per step:" << breakdown.str();
    if (row.callsPerStep > 0) {
        EXPECT_GE(sent, measured / 2) << "the module kept sending";
    }
    std::printf("%s: %.2f engine calls per step (%s), %ld blocks sent\n", narrow(row.deliverable).c_str(), perStep,
                breakdown.str().c_str(), sent);
}

INSTANTIATE_TEST_SUITE_P(EveryServer, SteadyState, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<Row>& info) { return narrow(info.param.deliverable); });

TEST(SteadyStateTable, CoversEveryServer)
{
    for (const ServerIdentity& s : builtServers) {
        const bool covered = std::any_of(std::begin(rows), std::end(rows), [&](const Row& r) { return std::wstring_view(r.deliverable) == s.deliverable; });
        EXPECT_TRUE(covered) << narrow(s.deliverable) << " has no row";
    }
}

} // namespace
