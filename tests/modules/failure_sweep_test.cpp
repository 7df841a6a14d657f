// Every engine call of every operation of every server in the identity table, failed in turn.
//
// Each module goes through one life: Initialize, LoadSettings, Start, Process (a typical block, an
// empty one, one of another size), Stop, SaveSettings, OpenWindow and CloseWindow (display modules),
// then its panel:
// opened, one control changed, Apply, closed. A clean run records which engine calls (site calls and
// settings-store calls) each operation makes. Then, for each operation and each of its calls, a
// fresh module lives the same life up to that operation, the call fails, and:
// - the operation answers that failure, or S_OK where the failure is one the module is documented to
//   absorb (document reads; window and panel handlers, whose failure goes to the debug output);
// - no update scope is left open;
// - the next undisturbed Process gives the output of a clean module that did, or did not, complete
//   the operation;
// - once released, the module leaves nothing behind: no references, no server locks, no task memory
//   or BSTRs (OANOCACHE=1), kernel handles, GDI objects or windows.
//
// Each server stays loaded while its cases run, so that what loading and unloading a server costs
// the process is not counted against the module. The whole sweep takes about half a minute.
#include "module_test.h"
#include <commctrl.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "bmp_files.h"
#include "wave_files.h"
#include "load_settings.h"
#include "message_box_watcher.h"
#include "resource_counts.h"
#include "server_identities.h"

using vento::SettingsStore;
using vento::test::countResources;
using vento::test::ResourceCounts;
using vento::test::ServerIdentity;
using StoreCall = SettingsStore::Call;

namespace {

// The failure every injected call answers: no engine or platform call answers it by itself.
constexpr HRESULT injected = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x7E57);

enum class Op {
    Initialize,
    LoadSettings,
    Start,
    ProcessTypical,
    ProcessEmpty,
    ProcessResized,
    Stop,
    SaveSettings,
    OpenWindow,
    CloseWindow,
    OpenPanel,
    ChangeControl,
    ApplyPanel,
    ClosePanel,
};
constexpr Op allOps[] = {Op::Initialize,     Op::LoadSettings, Op::Start,        Op::ProcessTypical, Op::ProcessEmpty,
                         Op::ProcessResized, Op::Stop,         Op::SaveSettings, Op::OpenWindow,     Op::CloseWindow,
                         Op::OpenPanel,      Op::ChangeControl, Op::ApplyPanel,  Op::ClosePanel};

const char* nameOf(Op op)
{
    static const char* const names[] = {"Initialize",  "LoadSettings", "Start",        "Process (typical)",
                                        "Process (empty)", "Process (size change)", "Stop", "SaveSettings",
                                        "OpenWindow",  "CloseWindow",  "panel opened", "panel control changed",
                                        "panel Apply", "panel closed"};
    return names[static_cast<int>(op)];
}

bool isPanelOp(Op op) { return op >= Op::OpenPanel; }

std::string narrowName(const wchar_t* text)
{
    std::string name;
    for (const wchar_t* c = text; *c; ++c) name += char(*c);
    return name;
}

const char* nameOf(StoreCall call)
{
    static const char* const names[] = {"ReadString", "WriteString", "ReadFloat", "WriteFloat"};
    return names[static_cast<int>(call)];
}

CLSID guid(const wchar_t* text)
{
    CLSID id{};
    EXPECT_EQ(S_OK, CLSIDFromString(text, &id));
    return id;
}

// What the debug output received: window and panel handlers report the failures they cannot return
// there (OutputDebugString raises an exception that a vectored handler sees first).
class DebugOutput {
public:
    DebugOutput()
    {
        handler_ = AddVectoredExceptionHandler(1, &DebugOutput::seen);
        // Wine opens a mutex for the debug output at its first use and keeps it: not a leak of
        // whichever module reports first.
        OutputDebugStringA("failure sweep: watching the debug output\n");
        take();
    }
    ~DebugOutput() { RemoveVectoredExceptionHandler(handler_); }
    DebugOutput(const DebugOutput&) = delete;
    DebugOutput& operator=(const DebugOutput&) = delete;

    static std::vector<std::string> take()
    {
        std::lock_guard lock(mutex());
        return std::exchange(lines(), {});
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& lines()
    {
        static std::vector<std::string> l;
        return l;
    }
    static LONG CALLBACK seen(EXCEPTION_POINTERS* info)
    {
        const EXCEPTION_RECORD& r = *info->ExceptionRecord;
        if (r.ExceptionCode == 0x40010006L /* DBG_PRINTEXCEPTION_C */ && r.NumberParameters >= 2 && r.ExceptionInformation[1]) {
            std::lock_guard lock(mutex());
            lines().emplace_back(reinterpret_cast<const char*>(r.ExceptionInformation[1]));
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    void* handler_;
};

// Files the file modules read: made once in a folder of their own.
struct Files {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "vento_failure_sweep";
    std::wstring bmp, wav, recording;

    Files()
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        vento::test::BmpSpec picture;
        picture.width = 4;
        picture.height = 3;
        picture.pixel = [](int x, int row) { return std::uint32_t(x * 40 | row * 60 << 8 | 200 << 16); };
        bmp = (folder / "picture.bmp").wstring();
        vento::test::writeBytes(bmp, vento::test::makeBmp(picture));
        wav = (folder / "tone.wav").wstring();
        vento::test::writeMonoWave(wav, 11025, 2000);
        recording = (folder / "tape.vento").wstring();
    }
    ~Files() { std::filesystem::remove_all(folder); }
};

// The page a host opens for the module: made from the module's server, given a site and the module,
// activated in a parent window of its own.
struct Panel {
    vento::test::ParentWindow parent;
    ComPtr<vento::test::FakePageSite> site = modkit::make<vento::test::FakePageSite>();
    ComPtr<IPropertyPage> page;

    HWND dialog() const { return parent.page(); }
    HWND item(int id) const { return GetDlgItem(dialog(), id); }
};

// How one module is driven: the documents its inputs carry, the connections of its multi-inputs,
// settings beyond those it saves itself, the one control change of its panel.
struct Recipe {
    std::map<std::wstring, std::wstring> props; // per input; default: audio at 11025 samples per second
    std::map<std::wstring, std::wstring> strings; // text settings to load
    std::function<void(Panel&)> change;           // none: a panel without controls
    bool window = false;
    // The module queues what it read from each connection, and publishes its output document from
    // the inputs' current ones: after a failed step only its main output's samples are compared
    // (the queues hold what was read before the failure, which the diagnostic output shows).
    bool queues = false;
};

const wchar_t audio[] = L"<?xml version='1.0'?><PROPS><Type>Audio</Type><SamplesPerSecond>11025</SamplesPerSecond></PROPS>";
const wchar_t spectrum[] = L"<?xml version='1.0'?><PROPS><Type>FFT</Type><SamplesPerSecond>11025</SamplesPerSecond></PROPS>";
const wchar_t image[] = L"<?xml version='1.0'?><PROPS><Type>Image</Type><Width>16</Width><Height>8</Height></PROPS>";

void trackbar(Panel& p, int id, int position)
{
    HWND bar = p.item(id);
    ASSERT_NE(nullptr, bar) << "no trackbar " << id;
    SendMessageW(bar, TBM_SETPOS, TRUE, position);
    SendMessageW(p.dialog(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(bar));
}

void combo(Panel& p, int id, int index)
{
    HWND list = p.item(id);
    ASSERT_NE(nullptr, list) << "no list " << id;
    SendMessageW(list, CB_SETCURSEL, index, 0);
    SendMessageW(p.dialog(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void click(Panel& p, int id)
{
    HWND button = p.item(id);
    ASSERT_NE(nullptr, button) << "no button " << id;
    SendMessageW(button, BM_CLICK, 0, 0);
}

void spin(Panel& p, int id, int delta)
{
    ASSERT_NE(nullptr, p.item(id)) << "no up-down " << id;
    NMUPDOWN step{{p.item(id), UINT_PTR(id), UINT(UDN_DELTAPOS)}, 0, delta};
    SendMessageW(p.dialog(), WM_NOTIFY, id, reinterpret_cast<LPARAM>(&step));
}

Recipe recipeFor(std::wstring_view deliverable, const Files& files)
{
    Recipe r;
    if (deliverable == L"invtransform" || deliverable == L"modulus") r.props[L"Default"] = spectrum;
    if (deliverable == L"bandgate") {
        r.props[L"Default"] = spectrum;
        r.change = [](Panel& p) { trackbar(p, 5005, 5); };
    }
    if (deliverable == L"tonegen") r.change = [](Panel& p) { combo(p, 5011, 1); };
    if (deliverable == L"plotview") {
        r.window = true;
        r.change = [](Panel& p) { click(p, 202); };
    }
    if (deliverable == L"picview") {
        r.window = true;
        r.props[L"Default"] = image;
        r.change = [](Panel& p) { click(p, 202); };
    }
    if (deliverable == L"tapfilter") r.change = [](Panel& p) { trackbar(p, 5005, 30); };
    if (deliverable == L"bitmapio") {
        r.strings[L"FileName"] = files.bmp;
        r.props[L"InputImage"] = image;
        r.change = [](Panel& p) { click(p, 206); };
    }
    if (deliverable == L"taperec") {
        r.strings[L"FileName"] = files.recording;
        r.change = [](Panel& p) { spin(p, 202, 1); };
    }
    if (deliverable == L"soundfile") {
        r.strings[L"FileName"] = files.wav;
        r.change = [](Panel& p) { click(p, 207); };
    }
    if (deliverable == L"reblocker" || deliverable == L"summer") r.change = [](Panel& p) { combo(p, 202, 1); };
    if (deliverable == L"summer") r.queues = true;
    if (deliverable == L"blockblend") r.change = [](Panel& p) { spin(p, 204, 1); };
    return r;
}

// What one Process sent: each output's block, when it sent one.
struct Sent {
    std::map<std::wstring, std::optional<vento::test::SentBlock>> outputs;
    bool operator==(const Sent& other) const
    {
        if (outputs.size() != other.outputs.size()) return false;
        for (const auto& [pin, block] : outputs) {
            auto it = other.outputs.find(pin);
            if (it == other.outputs.end() || block.has_value() != it->second.has_value()) return false;
            if (block && (block->data != it->second->data || block->props != it->second->props)) return false;
        }
        return true;
    }
};

// The samples of the main output only.
bool sameSamples(const Sent& a, const Sent& b)
{
    auto main = [](const Sent& s) -> std::optional<std::vector<float>> {
        auto it = s.outputs.find(L"Default");
        if (it == s.outputs.end() || !it->second) return std::nullopt;
        return it->second->data;
    };
    return main(a) == main(b);
}

std::ostream& operator<<(std::ostream& os, const Sent& sent)
{
    for (const auto& [pin, block] : sent.outputs) {
        os << "[" << narrowName(pin.c_str()) << ": ";
        if (!block) {
            os << "nothing] ";
            continue;
        }
        os << block->data.size() << " floats";
        for (std::size_t i = 0; i < std::min<std::size_t>(4, block->data.size()); ++i) os << " " << block->data[i];
        std::wstring props = block->props;
        std::erase_if(props, [](wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\t'; });
        os << " " << narrowName(props.c_str()) << "] ";
    }
    return os;
}

// A module's setting-up shared by its runs.
struct Subject {
    const ServerIdentity& row;
    std::wstring dll;
    CLSID clsid;
    Recipe recipe;
    vento::test::FloatSettings floats; // what a fresh module saves: the settings LoadSettings reads
    std::vector<Op> ops;
};

// A failing call: the (skip + 1)-th site call of its kind in the operation, or store call.
struct Fault {
    bool store = false;
    SiteCall site{};
    StoreCall storeCall{};
    int skip = 0;
};

std::ostream& operator<<(std::ostream& os, const Fault& f)
{
    if (f.store) return os << nameOf(f.storeCall) << " #" << f.skip + 1;
    return os << f.site << " #" << f.skip + 1;
}

// One life of one module, up to and through the operations asked for.
class Life {
public:
    explicit Life(Subject& s) : s_(s), h_(s.dll.c_str(), s.clsid) {}

    ~Life()
    {
        closePanel();
        h_.clearFaults();
    }

    ModuleHarness& harness() { return h_; }
    SettingsStore& loadStore() { return *loadStore_.Get(); }
    SettingsStore& saveStore() { return *saveStore_.Get(); }
    const Panel* panel() const { return panel_ ? &*panel_ : nullptr; }

    // The time that passes before every operation, and the same in every run.
    void tick() { h_.clock().advance(h_.clock().frequency() / 8); }

    HRESULT perform(Op op)
    {
        IModule* m = h_.module();
        switch (op) {
        case Op::Initialize: {
            HRESULT hr = m->Initialize();
            if (SUCCEEDED(hr)) connect();
            return hr;
        }
        case Op::LoadSettings: return m->LoadSettings(loadStore_.Get());
        case Op::Start: return m->Start();
        case Op::ProcessTypical: feed(1); return h_.process();
        case Op::ProcessEmpty:
            for (const auto& [name, pin] : h_.core().inputs())
                for (auto& slot : pin.slots) slot->receive({}, std::nullopt);
            return h_.process();
        case Op::ProcessResized: feed(2); return h_.process();
        case Op::Stop: return m->Stop();
        case Op::SaveSettings: return m->SaveSettings(saveStore_.Get());
        case Op::OpenWindow: return m->OpenWindow();
        case Op::CloseWindow: return m->CloseWindow();
        case Op::OpenPanel: return openPanel();
        case Op::ChangeControl:
            if (panel_ && s_.recipe.change) s_.recipe.change(*panel_);
            return S_OK;
        case Op::ApplyPanel: return panel_ ? panel_->page->Apply() : S_OK;
        case Op::ClosePanel: return closePanel();
        }
        return E_UNEXPECTED;
    }

    // Every operation before `until` (and the time before each), undisturbed; all of them without.
    void lead(std::optional<Op> until = std::nullopt)
    {
        for (Op op : s_.ops) {
            tick();
            if (until && op == *until) return;
            ASSERT_EQ(S_OK, perform(op)) << nameOf(op) << " fails undisturbed";
        }
    }

    // The next undisturbed Process with a typical block, and what it sent.
    Sent probe()
    {
        tick();
        std::map<std::wstring, long> before;
        for (const auto& [name, out] : h_.core().outputs()) before[name] = out.sends();
        feed(1);
        EXPECT_EQ(S_OK, h_.process()) << "the next undisturbed Process";
        Sent sent;
        for (const auto& [name, out] : h_.core().outputs()) {
            auto& slot = sent.outputs[name];
            if (out.sends() != before[name]) slot = h_.lastSent(name);
        }
        return sent;
    }

    void arm(const Fault& f)
    {
        if (!f.store) {
            h_.failCall(f.site, injected, f.skip);
            return;
        }
        loadStore_->failCall(f.storeCall, injected, f.skip);
        saveStore_->failCall(f.storeCall, injected, f.skip);
    }

private:
    // Two connections on every multi-input: the Multiplier's typical graph.
    void connect()
    {
        for (const auto& [name, pin] : h_.core().inputs())
            if (pin.multi && pin.slots.empty()) {
                h_.connect(name);
                h_.connect(name);
            }
    }

    // A block on every input: `scale` times its declared size (single values stay single).
    void feed(int scale)
    {
        unsigned seed = 1;
        for (const auto& [name, pin] : h_.core().inputs()) {
            auto props = s_.recipe.props.find(name);
            std::optional<std::wstring> document = props != s_.recipe.props.end() ? props->second : std::wstring(audio);
            for (auto& slot : pin.slots) {
                if (pin.size == 1) {
                    slot->receive(std::vector<float>{440.0f * float(scale)}, std::nullopt);
                    continue;
                }
                std::vector<float> data = randomBlock(pin.size * scale, seed++);
                slot->receive(data, std::wstring_view(*document));
            }
        }
    }

    HRESULT openPanel()
    {
        panel_.emplace();
        vento::ServerLibrary server(vento::programFolder() / s_.dll);
        HRESULT hr = server.classFactory(guid(s_.row.pageClsid))->CreateInstance(nullptr, IID_PPV_ARGS(&panel_->page));
        if (FAILED(hr)) return hr;
        if (FAILED(hr = panel_->page->SetPageSite(panel_->site.Get()))) return hr;
        IUnknown* objects[] = {h_.unknown()};
        if (FAILED(hr = panel_->page->SetObjects(1, objects))) return hr;
        RECT rect{0, 0, 280, 154};
        return panel_->page->Activate(panel_->parent.get(), &rect, FALSE);
    }

    HRESULT closePanel()
    {
        if (!panel_) return S_OK;
        HRESULT hr = S_OK;
        if (panel_->page) {
            hr = panel_->page->Deactivate();
            panel_->page->SetObjects(0, nullptr);
            panel_->page->SetPageSite(nullptr);
            panel_->page.Reset();
        }
        panel_.reset();
        return hr;
    }

    Subject& s_;
    ModuleHarness h_;
    ComPtr<SettingsStore> loadStore_ = makeLoadStore();
    ComPtr<SettingsStore> saveStore_ = makeRecordingStore();
    std::optional<Panel> panel_;

    ComPtr<SettingsStore> makeRecordingStore()
    {
        ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
        store->recordCalls();
        return store;
    }
    ComPtr<SettingsStore> makeLoadStore()
    {
        ComPtr<SettingsStore> store = makeRecordingStore();
        for (const auto& [name, value] : s_.floats) store->setFloat(name, value);
        for (const auto& [name, value] : s_.recipe.strings) store->setString(name, value);
        return store;
    }
};

// The calls an operation made, as faults to inject one by one.
std::vector<Fault> callsOf(const std::vector<vento::CallLogEntry>& site, std::size_t siteFrom,
                           const std::vector<StoreCall>& load, const std::vector<StoreCall>& save, std::size_t loadFrom,
                           std::size_t saveFrom)
{
    std::vector<Fault> faults;
    std::map<SiteCall, int> seen;
    for (std::size_t i = siteFrom; i < site.size(); ++i) faults.push_back({false, site[i].call, {}, seen[site[i].call]++});
    std::map<StoreCall, int> seenStore;
    for (const auto* calls : {&load, &save}) {
        std::size_t from = calls == &load ? loadFrom : saveFrom;
        for (std::size_t i = from; i < calls->size(); ++i) faults.push_back({true, {}, (*calls)[i], seenStore[(*calls)[i]]++});
    }
    return faults;
}

// Failures the operation may absorb and still succeed: reading a property document never fails
// (a failed read gives an empty document), and a document written to an output whose block cannot
// be had is dropped.
bool documentedSuccess(const Fault& f)
{
    if (f.store) return false;
    switch (f.site) {
    case SiteCall::GetInputCount:
    case SiteCall::GetInputBlockAt:
    case SiteCall::GetInputBlock:
    case SiteCall::GetOutputBlock: return true;
    default: return false;
    }
}

bool reportedToDebugOutput(const std::vector<std::string>& lines)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(injected));
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(code) != std::string::npos; });
}

// Whether the operation came as far as the call that was to fail (it makes the same calls as in the
// clean run up to there).
bool reached(Life& life, const Fault& f, std::size_t siteFrom, std::size_t loadFrom, std::size_t saveFrom)
{
    if (f.store) {
        const auto& load = life.loadStore().calls();
        const auto& save = life.saveStore().calls();
        return std::count(load.begin() + std::ptrdiff_t(loadFrom), load.end(), f.storeCall) +
                   std::count(save.begin() + std::ptrdiff_t(saveFrom), save.end(), f.storeCall) >
               f.skip;
    }
    const auto& entries = life.harness().calls().entries();
    return std::count_if(entries.begin() + std::ptrdiff_t(siteFrom), entries.end(),
                         [&](const vento::CallLogEntry& e) { return e.call == f.site; }) > f.skip;
}

// The references of one operation: the next Process after a clean module completed it, and after a
// clean module skipped it.
struct References {
    Sent completed, skipped;
};

class FailureSweep : public testing::Test {
protected:
    static void SetUpTestSuite() { files_ = new Files; }
    static void TearDownTestSuite()
    {
        delete files_;
        files_ = nullptr;
    }

    Subject subjectFor(const ServerIdentity& row)
    {
        Subject s{row, std::wstring(row.deliverable) + L".dll", guid(row.clsid), recipeFor(row.deliverable, *files_), {}, {}};
        for (Op op : allOps) {
            if ((op == Op::OpenWindow || op == Op::CloseWindow) && !s.recipe.window) continue;
            if (op == Op::ChangeControl && !s.recipe.change) continue;
            s.ops.push_back(op);
        }
        ModuleHarness fresh(s.dll.c_str(), s.clsid);
        EXPECT_EQ(S_OK, fresh.initialize());
        s.floats = fresh.savedFloats();
        return s;
    }

    static Files* files_;
    vento::ComApartment apartment_; // outlives every harness: no apartment set-up counted as a leak
    DebugOutput debugOutput_;
};

Files* FailureSweep::files_ = nullptr;

TEST_F(FailureSweep, EveryEngineCallOfEveryOperationFailsInTurnAndTheModuleCarriesOn)
{
    ASSERT_TRUE(vento::test::bstrCacheOff()) << "run with OANOCACHE=1, or leaked BSTRs go unseen";
    vento::test::MessageBoxWatcher boxes; // the file modules tell their user about files; pressed OK
    int cases = 0;
    std::map<std::string, int> perModule;
    for (const ServerIdentity& row : builtServers) {
        std::string module = narrowName(row.deliverable);
        SCOPED_TRACE(module);
        Subject s = subjectFor(row);
        vento::ServerLibrary keepLoaded(vento::programFolder() / s.dll);

        for (Op op : s.ops) {
            SCOPED_TRACE(nameOf(op));
            // The clean runs: the calls the operation makes, and the references.
            References refs;
            std::vector<Fault> faults;
            {
                Life clean(s);
                clean.lead(op);
                std::size_t siteFrom = clean.harness().calls().entries().size();
                std::size_t loadFrom = clean.loadStore().calls().size(), saveFrom = clean.saveStore().calls().size();
                ASSERT_EQ(S_OK, clean.perform(op)) << "fails undisturbed";
                faults = callsOf(clean.harness().calls().entries(), siteFrom, clean.loadStore().calls(),
                                 clean.saveStore().calls(), loadFrom, saveFrom);
                refs.completed = clean.probe();
            }
            if (op != Op::Initialize) {
                Life skipping(s);
                skipping.lead(op);
                refs.skipped = skipping.probe();
            } else {
                refs.skipped = refs.completed; // a failed Initialize is followed by another
            }
            DebugOutput::take();

            for (const Fault& fault : faults) {
                SCOPED_TRACE(testing::Message() << "failing " << fault);
                ResourceCounts before = countResources();
                {
                    Life run(s);
                    run.lead(op);
                    std::size_t siteFrom = run.harness().calls().entries().size();
                    std::size_t loadFrom = run.loadStore().calls().size(), saveFrom = run.saveStore().calls().size();
                    run.arm(fault);
                    HRESULT hr = run.perform(op);
                    std::vector<std::string> debug = DebugOutput::take();
                    EXPECT_TRUE(reached(run, fault, siteFrom, loadFrom, saveFrom)) << "the operation never made the failing call";
                    if (hr != injected) {
                        bool absorbed = documentedSuccess(fault) || (isPanelOp(op) && reportedToDebugOutput(debug)) ||
                                        (s.recipe.window && reportedToDebugOutput(debug));
                        EXPECT_TRUE(SUCCEEDED(hr) && absorbed) << "answered 0x" << std::hex << hr;
                    }
                    // A refused EndUpdate leaves the engine's count where it was, and the engine holds
                    // the module's Process back until the scope ends: the sweep ends it itself.
                    bool refusedEnd = !fault.store && fault.site == SiteCall::EndUpdate;
                    EXPECT_EQ(refusedEnd ? 1 : 0, run.harness().core().updateDepth()) << "an update scope is left open";
                    if (refusedEnd && run.harness().core().updateDepth() == 1) run.harness().site()->EndUpdate();
                    run.harness().clearFaults();
                    run.loadStore().failCall(StoreCall::ReadString, S_OK);
                    run.saveStore().failCall(StoreCall::ReadString, S_OK);
                    if (op == Op::Initialize && FAILED(hr)) {
                        EXPECT_EQ(S_OK, run.perform(Op::Initialize));
                    }
                    Sent next = run.probe();
                    bool same = next == refs.completed || next == refs.skipped;
                    if (s.recipe.queues) same = sameSamples(next, refs.completed) || sameSamples(next, refs.skipped);
                    EXPECT_TRUE(same)
                        << "the next Process sent " << next << "\n  a clean module sends " << refs.completed
                        << "\n  or, without the operation, " << refs.skipped;
                }
                EXPECT_EQ(before, countResources()) << "left behind";
                ++cases;
                ++perModule[module];
            }
        }
    }
    boxes.stop();
    std::printf("failure sweep: %d (module, operation, call) cases\n", cases);
    for (const auto& [module, n] : perModule) std::printf("  %-13s %d\n", module.c_str(), n);
    RecordProperty("cases", cases);
}

// The counters see what the sweep looks for: one more of each while it is held, none after.
TEST(ResourceCounts, SeeOneMoreOfEachKindWhileItIsHeld)
{
    ASSERT_TRUE(vento::test::bstrCacheOff());
    vento::ComApartment apartment;
    ResourceCounts before = countResources();
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    BSTR text = SysAllocString(L"held");
    HWND window = CreateWindowExW(0, L"STATIC", L"held", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ResourceCounts held = countResources();
    EXPECT_EQ(before.taskMemory + 1, held.taskMemory);
    EXPECT_EQ(before.handles + 1, held.handles);
    EXPECT_EQ(before.gdiObjects + 1, held.gdiObjects);
    EXPECT_EQ(before.windows + 1, held.windows);
    DestroyWindow(window);
    SysFreeString(text);
    DeleteObject(pen);
    CloseHandle(event);
    EXPECT_EQ(before, countResources());
}

// Stands in for the XML document component's class and refuses to make one, as on a system
// without it.
class RefusingFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; } // static lifetime
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** out) override
    {
        if (out) *out = nullptr;
        ++refused;
        return REGDB_E_CLASSNOTREG;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
    int refused = 0;
};

// Without the XML document component every module still lives its whole life: each operation
// succeeds, Process sends its samples (documents stay as the engine made them), nothing leaks.
TEST_F(FailureSweep, EveryModuleLivesItsLifeWithoutTheDocumentComponent)
{
    ASSERT_TRUE(vento::test::bstrCacheOff()) << "run with OANOCACHE=1, or leaked BSTRs go unseen";
    CLSID xml{};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"msxml2.domdocument", &xml));
    vento::test::MessageBoxWatcher boxes;
    static RefusingFactory refusing;
    for (const ServerIdentity& row : builtServers) {
        SCOPED_TRACE(narrowName(row.deliverable));
        Subject s = subjectFor(row);
        vento::ServerLibrary keepLoaded(vento::programFolder() / s.dll);
        Sent normal;
        {
            Life run(s);
            run.lead();
            normal = run.probe();
        }
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, CoRegisterClassObject(xml, &refusing, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
        int refusedBefore = refusing.refused;
        ResourceCounts before = countResources();
        {
            Life run(s);
            for (Op op : s.ops) {
                run.tick();
                EXPECT_EQ(S_OK, run.perform(op)) << nameOf(op);
            }
            Sent next = run.probe();
            EXPECT_GT(refusing.refused, refusedBefore) << "the module never asked for a document";
            // Only the samples are compared: the documents are the engine's own.
            for (auto& [pin, block] : next.outputs) {
                if (block) block->props = normal.outputs[pin] ? normal.outputs[pin]->props : std::wstring();
            }
            EXPECT_EQ(normal, next) << "the samples differ from those of a module with a document";
        }
        EXPECT_EQ(before, countResources()) << "left behind";
        ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));
    }
    boxes.stop();
}

} // namespace
