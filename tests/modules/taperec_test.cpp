// The Recorder in its real server DLL, driven through its real panel: the recording file byte for
// byte, playback paced by the recorded offsets with its gap countdown and its loop, the damaged files
// it refuses, and its settings.
#include <initguid.h>
#include "module_test.h"
#include <cstring>
#include <filesystem>
#include <fstream>
#include "message_box_watcher.h"
#include "window_watcher.h"
#include "recording.h"
#include "taperec/controls.h"
#include "taperec_idl.h"

namespace fs = std::filesystem;
using vento::SettingsStore;
using vento::test::MessageBoxWatcher;
using namespace vento::formats;

namespace {

constexpr wchar_t dll[] = L"taperec.dll";
constexpr wchar_t pin[] = L"Default";

std::wstring audioProps(long rate)
{
    return L"<PROPS><SamplesPerSecond>" + std::to_wstring(rate) + L"</SamplesPerSecond></PROPS>";
}

std::vector<std::uint8_t> bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<float> ramp(long n, float from)
{
    std::vector<float> v(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) v[size_t(i)] = from + float(i) / 1024.0f;
    return v;
}

// A recording written as the format says: header, then records of (offset, samples).
void writeRecording(const fs::path& file, const std::vector<std::uint8_t>& header,
                    const std::vector<std::pair<LONGLONG, std::vector<float>>>& records)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
    for (const auto& [offset, samples] : records) {
        const auto bytes = timeOffsetBytes(offset);
        out.write(reinterpret_cast<const char*>(bytes.data()), 8);
        out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 4));
    }
}

std::vector<std::uint8_t> header(std::int32_t recordSize, std::int32_t rate)
{
    auto h = makeRecordingHeader(recordSize, rate);
    return {h.begin(), h.end()};
}

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, h.initialize());
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        file = fs::path(temp) / (L"recorder_" + std::to_wstring(GetCurrentProcessId()) + L".vento");
        fs::remove(file);
        panel.emplace(h, dll, CLSID_RecorderModulePP);
    }
    void TearDown() override
    {
        panel.reset();
        std::error_code ignored;
        fs::remove(file, ignored);
    }
    // Types the file name into the panel as a user would (the edit notifies the panel itself).
    void typeFileName(const fs::path& name) { SetWindowTextW(panel->item(IDC_FILE_NAME), name.c_str()); }
    void step(LONGLONG ticks = 100)
    {
        h.clock().advance(ticks);
        ASSERT_EQ(S_OK, h.process());
    }
    void feedStep(const std::vector<float>& block, long rate = 44100)
    {
        h.feed(pin, block, audioProps(rate));
        step();
    }

    ModuleHarness h{dll, CLSID_RecorderModule};
    std::optional<PageHarness> panel;
    fs::path file;
};

TEST_F(RecorderTest, RecordsBlocksByteExactWithTheirTimesAndPassesThemOn)
{
    typeFileName(file);
    panel->click(IDC_RECORD);
    std::vector<std::vector<float>> blocks{ramp(128, -0.5f), ramp(128, 0.0f), ramp(128, 0.25f)};
    for (const auto& block : blocks) {
        feedStep(block);
        EXPECT_EQ(block, h.lastSent(pin).data) << "a recorded block is passed on unchanged";
    }
    EXPECT_EQ(L"44100", propsOf(h.lastSent(pin).props)[L"SamplesPerSecond"]);
    panel->click(IDC_STOP);
    step();

    const auto bytes = bytesOf(file);
    ASSERT_EQ(1688u, bytes.size());
    const char text[] = "RecSize: 512  SampleRate: 44100";
    EXPECT_EQ(0, std::memcmp(bytes.data(), text, sizeof text)) << "the text and its ending zero";
    EXPECT_TRUE(std::all_of(bytes.begin() + sizeof text, bytes.begin() + 128, [](std::uint8_t b) { return b == 0; }));
    LONGLONG last = -1;
    for (size_t r = 0; r < 3; ++r) {
        const std::uint8_t* record = bytes.data() + 128 + r * 520;
        const LONGLONG offset = readTimeOffset(std::span<const std::uint8_t, 8>(record, 8));
        EXPECT_EQ(LONGLONG(100 * r), offset) << "ticks since the recording started, record " << r;
        EXPECT_GE(offset, last);
        last = offset;
        EXPECT_EQ(0, std::memcmp(record + 8, blocks[r].data(), 512)) << "record " << r;
    }
}

TEST_F(RecorderTest, BlockSizeChangeEndsTheRecordingWithWhatWasRecorded)
{
    typeFileName(file);
    panel->click(IDC_RECORD);
    feedStep(ramp(128, 0));
    feedStep(ramp(128, 0.5f));
    feedStep(ramp(256, 0.1f));
    EXPECT_EQ(ramp(256, 0.1f), h.lastSent(pin).data) << "idle again: the new block passes through";
    feedStep(ramp(128, 0.2f));
    EXPECT_EQ(128u + 2 * 520u, fs::file_size(file)) << "closed with the two 128-sample records";
}

// A source slower than the engine's passes leaves calls without an input block: the recording goes
// on through them (only a block of another size ends it).
TEST_F(RecorderTest, CallsWithoutAnInputBlockKeepTheRecordingGoing)
{
    typeFileName(file);
    panel->click(IDC_RECORD);
    feedStep(ramp(128, 0));
    step();
    feedStep(ramp(128, 0.5f));
    step();
    step();
    feedStep(ramp(128, 0.25f));
    EXPECT_EQ(ramp(128, 0.25f), h.lastSent(pin).data);
    panel->click(IDC_STOP);
    step();
    const auto bytes = bytesOf(file);
    ASSERT_EQ(128u + 3 * 520u, bytes.size()) << "every block recorded";
    EXPECT_EQ(200, readTimeOffset(std::span<const std::uint8_t, 8>(bytes.data() + 128 + 520, 8)));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 128 + 2 * 520 + 8, ramp(128, 0.25f).data(), 512));
}

TEST_F(RecorderTest, RecordWaitsForTheFirstBlockAndTakesItsSize)
{
    typeFileName(file);
    panel->click(IDC_RECORD);
    step();
    step(); // no input yet: no file that would announce records of 0 bytes
    EXPECT_FALSE(fs::exists(file));
    feedStep(ramp(64, 0));
    feedStep(ramp(64, 0.5f));
    panel->click(IDC_STOP);
    step();
    const auto bytes = bytesOf(file);
    ASSERT_EQ(128u + 2 * (8 + 256u), bytes.size());
    EXPECT_EQ(256, parseRecordingHeader(bytes).recordSize);
    EXPECT_EQ(44100, parseRecordingHeader(bytes).sampleRate);
}

TEST_F(RecorderTest, PlaysRecordsAtTheirOffsetsWithAGapAndLoops)
{
    writeRecording(file, header(512, 22050), {{0, ramp(128, 0)}, {1000, ramp(128, 1)}, {5000, ramp(128, 2)}});
    typeFileName(file);
    panel->click(IDC_PLAY);
    step(0); // opens: start time = now, the first record due strictly after it
    EXPECT_EQ(0, h.sendCount(pin));
    EXPECT_EQ(L"22050", propsOf(h.outputProps(pin))[L"SamplesPerSecond"]);
    step(1);
    ASSERT_EQ(1, h.sendCount(pin));
    EXPECT_EQ(ramp(128, 0), h.lastSent(pin).data);
    EXPECT_EQ(128, h.outputSize(pin));
    step(2000); // the gap after every played block
    EXPECT_EQ(1, h.sendCount(pin));
    step(1);
    ASSERT_EQ(2, h.sendCount(pin));
    EXPECT_EQ(ramp(128, 1), h.lastSent(pin).data);
    step(1); // gap
    step(1); // the third record is due only after 5000 ticks
    EXPECT_EQ(2, h.sendCount(pin));
    step(5000);
    ASSERT_EQ(3, h.sendCount(pin));
    EXPECT_EQ(ramp(128, 2), h.lastSent(pin).data);
    step(1); // gap; the end of the file: playback starts over
    step(1);
    ASSERT_EQ(4, h.sendCount(pin));
    EXPECT_EQ(ramp(128, 0), h.lastSent(pin).data);

    h.feed(pin, ramp(128, 9), audioProps(8000));
    step(3000);
    EXPECT_NE(ramp(128, 9), h.lastSent(pin).data) << "playing: the input is not passed on";
}

// A crafted offset near the end of the 64-bit range: its record falls due at the end of time, not
// (the sum wrapped round) at once, and nothing before it is disturbed.
TEST_F(RecorderTest, ARecordBeyondTheEndOfTimeNeverFallsDue)
{
    writeRecording(file, header(16, 8000), {{0, {1, 2, 3, 4}}, {INT64_MAX - 10, {5, 6, 7, 8}}, {INT64_MIN, {9, 9, 9, 9}}});
    h.clock().set(1000000); // the playback starts late enough for the sum to pass the range
    typeFileName(file);
    panel->click(IDC_PLAY);
    step(0);
    step(1);
    ASSERT_EQ(1, h.sendCount(pin));
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4}), h.lastSent(pin).data);
    for (int i = 0; i < 20; ++i) step(1000000);
    EXPECT_EQ(1, h.sendCount(pin)) << "the second record is due at the end of time";
}

TEST_F(RecorderTest, GapSizeFromTheSpinSkipsCallsBeforeThePlayedBlocks)
{
    writeRecording(file, header(16, 8000), {{0, {1, 2, 3, 4}}});
    typeFileName(file); // stays while the spin changes the gap
    // The up-down counts down as its arrow goes up.
    for (int delta : {-1, -1, -1, -1, 1}) {
        NMUPDOWN change{{panel->item(IDC_GAP_SPIN), IDC_GAP_SPIN, UDN_DELTAPOS}, 0, delta};
        SendMessageW(panel->dialog(), WM_NOTIFY, IDC_GAP_SPIN, reinterpret_cast<LPARAM>(&change));
    }
    EXPECT_EQ(L"2", panel->text(IDC_GAP_SIZE)) << "held at 3, then one less";
    panel->click(IDC_PLAY);
    std::vector<long> sends;
    for (int i = 0; i < 7; ++i) {
        step(10);
        sends.push_back(h.sendCount(pin));
    }
    // Two empty calls, then one between blocks (the file starts over during the gap).
    EXPECT_EQ((std::vector<long>{0, 0, 1, 1, 2, 2, 3}), sends);
    EXPECT_EQ(4, h.outputSize(pin));
}

TEST_F(RecorderTest, FilesThatCannotBePlayedSayFileOpenFailedAndLeaveItIdle)
{
    auto garbage = header(0, 0);
    std::memcpy(garbage.data(), "garbage", 7);
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases{
        {"missing", {}},
        {"record size 0", header(0, 44100)},
        {"record size not whole floats", header(6, 44100)},
        {"record size beyond 4 MB", header(8 * 1024 * 1024, 44100)},
        {"negative record size", header(-512, 44100)},
        {"no header text", garbage},
        {"header only", header(512, 44100)},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        fs::remove(file);
        if (!bytes.empty()) {
            std::vector<std::pair<LONGLONG, std::vector<float>>> records;
            if (std::string_view(what) != "header only") records.push_back({0, ramp(8, 0)}); // one short record
            writeRecording(file, bytes, records);
        }
        typeFileName(file);
        const long before = h.sendCount(pin);
        MessageBoxWatcher watcher;
        panel->click(IDC_PLAY);
        step();
        step();
        auto boxes = watcher.stop();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(L"File Open Failed", boxes[0].text);
        EXPECT_EQ(before, h.sendCount(pin));
        feedStep(ramp(32, 0.5f)); // idle: passes through
        EXPECT_EQ(ramp(32, 0.5f), h.lastSent(pin).data);
    }
}

TEST_F(RecorderTest, IdlePassesEveryBlockThroughUnchanged)
{
    for (long n : {128L, 7L, 300L}) {
        feedStep(ramp(n, 0.125f), 11025);
        EXPECT_EQ(ramp(n, 0.125f), h.lastSent(pin).data);
    }
    EXPECT_EQ(L"11025", propsOf(h.lastSent(pin).props)[L"SamplesPerSecond"]);
}

TEST_F(RecorderTest, SettingsKeepTheNameAndAGapTheModuleCanUse)
{
    ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    store->setString(L"FileName", L"C:\\rec\\a.vento");
    store->setFloat(L"Slow Delay", 7.0f);
    ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    ComPtr<SettingsStore> saved = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(saved.Get()));
    EXPECT_EQ(L"C:\\rec\\a.vento", saved->stringValue(L"FileName"));
    EXPECT_EQ(3.0f, saved->floatValue(L"Slow Delay")) << "held at the largest gap";
    ASSERT_EQ(2u, saved->writes().size());
    EXPECT_EQ(L"Slow Delay", saved->writes()[0].name) << "the gap first, then the name";
    step();
    EXPECT_FALSE(fs::exists(L"C:\\rec\\a.vento")) << "loading starts nothing";
}

TEST_F(RecorderTest, PanelReportsEditsOnceAndShowsThePositionOnRefresh)
{
    typeFileName(file);
    typeFileName(file.wstring() + L"x");
    EXPECT_EQ((std::vector<DWORD>{3}), panel->site().statusChanges) << "dirty once, however many edits";
    typeFileName(file);
    panel->click(IDC_RECORD);
    EXPECT_EQ((std::vector<DWORD>{3, 0}), panel->site().statusChanges) << "Record applies the page";
    feedStep(ramp(128, 0));
    ASSERT_EQ(S_OK, panel->refresh());
    EXPECT_EQ(L"648", panel->text(IDC_FILE_POSITION)) << "header and one record";
    ComPtr<SettingsStore> saved = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(saved.Get()));
    EXPECT_EQ(file.wstring(), saved->stringValue(L"FileName"));
}

// "..." opens the platform's open-file dialog; the name chosen there becomes the panel's and the
// module's file name.
TEST_F(RecorderTest, BrowseTakesTheChosenFile)
{
    const int fileNameBox = 0x47c; // the explorer-style dialog's file name combo box
    std::wstring offered;
    vento::test::DialogWatcher user(GetCurrentThreadId(), L"Open", IDOK, [&](HWND dialog) {
        wchar_t text[MAX_PATH] = {};
        for (int i = 0; i < 100 && !text[0]; ++i, Sleep(20)) GetDlgItemTextW(dialog, fileNameBox, text, MAX_PATH);
        offered = text;
        SetDlgItemTextW(dialog, fileNameBox, file.c_str());
    });
    panel->click(IDC_BROWSE);
    ASSERT_TRUE(user.wait());
    EXPECT_NE(std::wstring::npos, offered.find(L"*.vento")) << "the dialog starts on recordings";
    EXPECT_EQ(file.wstring(), panel->text(IDC_FILE_NAME));
    ComPtr<SettingsStore> saved = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(saved.Get()));
    EXPECT_EQ(file.wstring(), saved->stringValue(L"FileName"));
}

} // namespace
