// The WAV module in its real server DLL, driven through its real panel: files made by sox played
// sample for sample, files it must refuse, pacing against the engine clock, and recordings that
// sox reads back (the check runs after this program, see CMakeLists.txt).
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include "soundfile/controls.h"
#include "soundfile_idl.h"
#include "tonegen_idl.h"

namespace fs = std::filesystem;
using vento::SettingsStore;

namespace {

constexpr wchar_t dll[] = L"soundfile.dll";
constexpr wchar_t out[] = L"Default";
constexpr wchar_t in[] = L"Input";
constexpr float scale = 3.0887076718499884e-05f;

LONGLONG counterFrequency()
{
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

LONGLONG interval(long rate) { return 256 * counterFrequency() / rate; }

std::vector<std::int16_t> rawValues(const fs::path& file)
{
    std::ifstream raw(file, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(raw), std::istreambuf_iterator<char>()};
    std::vector<std::int16_t> values(bytes.size() / 2);
    std::memcpy(values.data(), bytes.data(), values.size() * 2);
    return values;
}

struct Chunk {
    const char* id;
    std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> pcmFormat(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits)
{
    const std::uint16_t align = std::uint16_t(channels * bits / 8);
    std::vector<std::uint8_t> f(16);
    std::uint32_t average = rate * align;
    std::memcpy(&f[0], &tag, 2);
    std::memcpy(&f[2], &channels, 2);
    std::memcpy(&f[4], &rate, 4);
    std::memcpy(&f[8], &average, 4);
    std::memcpy(&f[12], &align, 2);
    std::memcpy(&f[14], &bits, 2);
    return f;
}

template <class T>
std::vector<std::uint8_t> bytesOf(const std::vector<T>& values)
{
    std::vector<std::uint8_t> b(values.size() * sizeof(T));
    std::memcpy(b.data(), values.data(), b.size());
    return b;
}

// A RIFF WAVE file of the given chunks, for the cases sox does not make.
void writeWave(const fs::path& file, const std::vector<Chunk>& chunks)
{
    std::vector<std::uint8_t> body{'W', 'A', 'V', 'E'};
    for (const Chunk& c : chunks) {
        body.insert(body.end(), c.id, c.id + 4);
        const auto size = std::uint32_t(c.bytes.size());
        body.insert(body.end(), reinterpret_cast<const std::uint8_t*>(&size), reinterpret_cast<const std::uint8_t*>(&size) + 4);
        body.insert(body.end(), c.bytes.begin(), c.bytes.end());
        if (c.bytes.size() % 2) body.push_back(0);
    }
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    const auto size = std::uint32_t(body.size());
    f.write("RIFF", 4);
    f.write(reinterpret_cast<const char*>(&size), 4);
    f.write(reinterpret_cast<const char*>(body.data()), std::streamsize(body.size()));
}

class WAVTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, h.initialize());
        ASSERT_EQ(S_OK, h.module()->Start());
        panel.emplace(h, dll, CLSID_WAVModulePP);
    }
    void press(int button, const fs::path& file)
    {
        SetWindowTextW(panel->item(IDC_WAV_FILE_NAME), file.c_str());
        panel->click(button);
    }
    void step(LONGLONG ticks)
    {
        h.clock().advance(ticks);
        ASSERT_EQ(S_OK, h.process());
    }
    // Plays `file` once to its end (or until `limit` calls pass without the end) and answers every
    // sample sent, with the "ValidSamples" the last block announced.
    std::vector<float> playToEnd(const fs::path& file, long rate, long* blocks = nullptr, int limit = 200)
    {
        press(IDC_WAV_PLAY, file);
        std::vector<float> played;
        const long before = h.sendCount(out);
        step(interval(1000)); // the file opens; no block yet
        for (int i = 0; i < limit; ++i) {
            const long sent = h.sendCount(out);
            step(interval(rate) + 1);
            if (h.sendCount(out) == sent) break;
            const auto& block = h.lastSent(out).data;
            played.insert(played.end(), block.begin(), block.end());
        }
        if (blocks) *blocks = h.sendCount(out) - before;
        return played;
    }
    fs::path temp(const std::wstring& name) const
    {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        return fs::path(folder) / (std::to_wstring(GetCurrentProcessId()) + L"_" + name);
    }

    ModuleHarness h{dll, CLSID_WAVModule};
    std::optional<PageHarness> panel;
};

TEST_F(WAVTest, PlaysFilesMadeBySoxSampleForSample)
{
    struct Case {
        const wchar_t* name;
        long rate, channels, frames;
    };
    for (const Case& c : {Case{L"mono_8000_1000", 8000, 1, 1000}, Case{L"stereo_8000_300", 8000, 2, 300},
                          Case{L"mono_22050_700", 22050, 1, 700}, Case{L"stereo_22050_513", 22050, 2, 513},
                          Case{L"mono_44100_512", 44100, 1, 512}, Case{L"stereo_44100_2000", 44100, 2, 2000}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        const auto values = rawValues(std::wstring(c.name) + L".raw");
        ASSERT_EQ(size_t(c.frames * c.channels), values.size()) << "sox's files are made before this test";
        long blocks = 0;
        const auto played = playToEnd(std::wstring(c.name) + L".wav", c.rate, &blocks);
        // Every block is whole; the one in which the data ends is completed with silence, and data
        // ending at a block's end is followed by one silent block.
        ASSERT_EQ(size_t(c.frames / 256 + 1), size_t(blocks));
        for (long i = 0; i < c.frames; ++i) {
            const int v = c.channels == 2 ? (values[2 * i] + values[2 * i + 1]) / 2 : values[i];
            ASSERT_EQ(float(v) * scale, played[size_t(i)]) << "sample " << i;
        }
        for (size_t i = size_t(c.frames); i < played.size(); ++i) ASSERT_EQ(0.0f, played[i]);
        const auto props = propsOf(h.lastSent(out).props);
        EXPECT_EQ(std::to_wstring(c.rate), props.at(L"SamplesPerSecond"));
        EXPECT_EQ(L"Audio", props.at(L"Type"));
        EXPECT_EQ(L"-1,1", props.at(L"Range"));
        EXPECT_EQ(std::to_wstring(c.frames % 256), props.at(L"ValidSamples")) << "the file's part of the last block";
    }
}

TEST_F(WAVTest, FormatsItDoesNotDecodeNeitherCrashNorHang)
{
    long blocks = 0;
    auto played = playToEnd(L"u8_11025_600.wav", 11025, &blocks);
    EXPECT_EQ(3, blocks) << "8-bit: silence as long as the file";
    EXPECT_TRUE(std::all_of(played.begin(), played.end(), [](float s) { return s == 0.0f; }));
    for (const wchar_t* name : {L"s24_22050_300.wav", L"f32_44100_300.wav", L"quad_8000_300.wav"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        playToEnd(name, 8000, &blocks, 5);
        EXPECT_EQ(0, blocks) << "not plain PCM: nothing is played";
    }
}

TEST_F(WAVTest, RefusesFilesThatCannotBePlayedAndReadsWholeFramesOnly)
{
    const std::vector<std::int16_t> pcm{3, -4, 100, 200, -7, 9};
    const auto data = bytesOf(pcm);
    const std::vector<std::pair<const char*, std::vector<Chunk>>> refused{
        {"float format", {{"fmt ", pcmFormat(3, 1, 8000, 32)}, {"data", data}}},
        {"rate 0", {{"fmt ", pcmFormat(1, 1, 0, 16)}, {"data", data}}},
        {"no channels", {{"fmt ", pcmFormat(1, 0, 8000, 16)}, {"data", data}}},
        {"4-bit samples", {{"fmt ", pcmFormat(1, 1, 8000, 4)}, {"data", data}}},
        {"no fmt chunk", {{"data", data}}},
        {"no data chunk", {{"fmt ", pcmFormat(1, 1, 8000, 16)}}},
        {"short fmt chunk", {{"fmt ", {1, 0, 1, 0}}, {"data", data}}},
    };
    const fs::path file = temp(L"crafted.wav");
    long blocks = 0;
    for (const auto& [what, chunks] : refused) {
        SCOPED_TRACE(what);
        writeWave(file, chunks);
        playToEnd(file, 8000, &blocks, 5);
        EXPECT_EQ(0, blocks);
    }
    // Stereo averaged toward zero; a data chunk ending inside a frame ends at its last whole frame.
    auto odd = data;
    odd.pop_back();
    writeWave(file, {{"fmt ", pcmFormat(1, 2, 8000, 16)}, {"data", odd}});
    auto played = playToEnd(file, 8000, &blocks);
    ASSERT_EQ(1, blocks);
    EXPECT_EQ(0.0f, played[0]) << "(3 + -4) / 2 is 0, not -1";
    EXPECT_EQ(150 * scale, played[1]);
    EXPECT_EQ(0.0f, played[2]) << "the half frame is not read";
    EXPECT_EQ(L"2", propsOf(h.lastSent(out).props).at(L"ValidSamples"));
    fs::remove(file);
}

TEST_F(WAVTest, PacesBlocksByTheClockAndCatchesUpOneBlockPerCall)
{
    press(IDC_WAV_PLAY, L"stereo_44100_2000.wav");
    step(interval(1000)); // opens
    EXPECT_EQ(0, h.sendCount(out));
    step(interval(44100));
    EXPECT_EQ(0, h.sendCount(out)) << "due only strictly after one interval";
    step(1);
    EXPECT_EQ(1, h.sendCount(out));
    step(3 * interval(44100)); // late: one block per call until caught up
    for (int i = 0; i < 3; ++i) step(0);
    EXPECT_EQ(4, h.sendCount(out));
    step(0);
    EXPECT_EQ(4, h.sendCount(out));

    panel->click(IDC_WAV_STOP); // pauses; a later Play goes on where it stopped
    step(10 * interval(44100));
    EXPECT_EQ(4, h.sendCount(out));
    panel->click(IDC_WAV_PLAY);
    step(0);
    EXPECT_EQ(5, h.sendCount(out));
    const auto values = rawValues(L"stereo_44100_2000.raw");
    EXPECT_EQ(float((values[2 * 1024] + values[2 * 1024 + 1]) / 2) * scale, h.lastSent(out).data[0]);
}

TEST_F(WAVTest, RestoredModulePlaysItsFileOverAndOver)
{
    ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    store->setString(L"FileName", L"mono_22050_700.wav");
    ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    std::vector<float> played;
    step(interval(1000)); // opens
    for (int i = 0; i < 7; ++i) {
        const long sent = h.sendCount(out);
        step(interval(22050) + 1);
        if (h.sendCount(out) > sent) played.insert(played.end(), h.lastSent(out).data.begin(), h.lastSent(out).data.end());
    }
    // 3 blocks, a call that opens the file again (no block), 3 more from its start.
    ASSERT_EQ(6, h.sendCount(out));
    const auto values = rawValues(L"mono_22050_700.raw");
    for (size_t i = 0; i < 700; ++i) {
        ASSERT_EQ(float(values[i]) * scale, played[i]);
        ASSERT_EQ(float(values[i]) * scale, played[768 + i]);
    }
    ComPtr<SettingsStore> saved = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(saved.Get()));
    EXPECT_EQ(L"mono_22050_700.wav", saved->stringValue(L"FileName"));
}

// What the module records, as sox must read it back.
void writeExpected(const fs::path& file, long rate, const std::vector<long>& values)
{
    std::ofstream f(file, std::ios::binary | std::ios::trunc); // plain lines for the shell
    f << rate << '\n' << values.size() << '\n';
    for (long v : values) f << v << '\n';
}

long recorded(float s) // 32366 per unit, toward zero, held at the 16-bit limits
{
    const double v = std::trunc(double(s) * 32366.0);
    return long(std::clamp(v, -32768.0, 32767.0));
}

TEST_F(WAVTest, RecordsSaturatingAndCompletesTheFileOnStopEngineStopAndRelease)
{
    const std::vector<float> block{1.0f, -1.0f, 1.5f, -2.0f, 0.5f, -0.99999f, 0.0f, 1e9f};
    EXPECT_EQ((std::vector<long>{32366, -32366, 32767, -32768, 16183, -32365, 0, 32767}),
              [&] { std::vector<long> v; for (float s : block) v.push_back(recorded(s)); return v; }());
    std::vector<long> expected;
    for (int i = 0; i < 3; ++i)
        for (float s : block) expected.push_back(recorded(s));

    struct Ending {
        const wchar_t* name;
        std::function<void()> end;
    };
    for (const Ending& ending : {Ending{L"stop_button.wav", [&] { panel->click(IDC_WAV_STOP); }},
                                 Ending{L"engine_stop.wav", [&] { ASSERT_EQ(S_OK, h.module()->Stop()); }}}) {
        press(IDC_WAV_RECORD, ending.name);
        for (int i = 0; i < 3; ++i) {
            h.feed(in, block, L"<PROPS><SamplesPerSecond>22050</SamplesPerSecond></PROPS>");
            step(1);
        }
        ending.end();
        writeExpected(std::wstring(ending.name) + L".expected", 22050, expected);
        h.feed(in, block);
        step(1);
        EXPECT_EQ(44u + 48u, fs::file_size(ending.name)) << "ended: nothing more is written";
    }
    // A rate that is no rate keeps the one the module had (22050 by now), never 0.
    press(IDC_WAV_RECORD, L"released.wav");
    h.feed(in, block, L"<PROPS><SamplesPerSecond>0</SamplesPerSecond></PROPS>");
    step(1);
    panel.reset();
    EXPECT_EQ(0u, h.releaseModule());
    writeExpected(L"released.wav.expected", 22050, std::vector<long>(expected.begin(), expected.begin() + 8));
}

// The rate in a recording's header is its input's, whatever was played before or plays meanwhile;
// and a recording does not give its input's rate to what plays.
TEST_F(WAVTest, RecordsAtTheInputsRateAndPlaysAtTheFilesWhateverTheOtherDoes)
{
    auto headerRate = [](const fs::path& file) {
        std::ifstream f(file, std::ios::binary);
        std::uint8_t header[44] = {};
        f.read(reinterpret_cast<char*>(header), 44);
        std::uint32_t rate = 0;
        std::memcpy(&rate, header + 24, 4);
        return rate;
    };
    const std::vector<float> block(256, 0.25f);
    const std::wstring props = L"<PROPS><SamplesPerSecond>11025</SamplesPerSecond></PROPS>";
    auto record = [&](const fs::path& file, int blocks) {
        press(IDC_WAV_RECORD, file);
        for (int i = 0; i < blocks; ++i) {
            h.feed(in, block, props);
            step(1);
        }
        panel->click(IDC_WAV_STOP);
    };
    const fs::path first = temp(L"first.wav"), second = temp(L"second.wav"), together = temp(L"together.wav");
    record(first, 2);
    playToEnd(L"mono_22050_700.wav", 22050); // the module's rate is the file's now
    record(second, 2);
    EXPECT_EQ(11025u, headerRate(first));
    EXPECT_EQ(11025u, headerRate(second)) << "the same input document as before: its rate all the same";

    // Recording, then playing as well (Record would end playback): each keeps its own rate.
    press(IDC_WAV_RECORD, together);
    h.feed(in, block, props);
    step(1); // the recording's file is made
    press(IDC_WAV_PLAY, L"mono_22050_700.wav");
    step(interval(1000)); // the played file opens
    // A new input document while the file plays: read for the recording, not for what plays.
    const std::wstring changed = L"<PROPS><Type>Audio</Type><SamplesPerSecond>11025</SamplesPerSecond></PROPS>";
    for (int i = 0; i < 3; ++i) {
        h.feed(in, block, changed);
        const long sent = h.sendCount(out);
        step(interval(22050) + 1);
        EXPECT_EQ(sent + 1, h.sendCount(out)) << "a block of the file every 256 / 22050 s, block " << i;
        EXPECT_EQ(L"22050", propsOf(h.lastSent(out).props).at(L"SamplesPerSecond"));
    }
    panel->click(IDC_WAV_STOP);
    EXPECT_EQ(11025u, headerRate(together));
    for (const fs::path& file : {first, second, together}) fs::remove(file);
}

TEST(WAVRecording, SignalWIntoAFileSoxReads)
{
    ModuleHarness h{dll, CLSID_WAVModule};
    ASSERT_EQ(S_OK, h.initialize());
    vento::Instance& tone = h.addSource(L"tonegen.dll", CLSID_SignalWModule, L"tone", L"Input");
    PageHarness panel(h, dll, CLSID_WAVModulePP);
    SetWindowTextW(panel.item(IDC_WAV_FILE_NAME), L"signalw.wav");
    panel.click(IDC_WAV_RECORD);
    std::vector<long> expected;
    h.engine().setSendObserver([&](const vento::ModuleCore& core, std::wstring_view, const vento::OutputPin& pin) {
        if (&core == tone.core)
            for (float s : pin.data()) expected.push_back(recorded(s));
    });
    h.engine().start();
    for (int i = 0; i < 20; ++i) {
        h.clock().advance(128 * counterFrequency() / 11025 + 1);
        h.engine().step();
    }
    h.engine().stop();
    EXPECT_GE(expected.size(), 10u * 128u);
    writeExpected(L"signalw.wav.expected", 11025, expected);
}

} // namespace
