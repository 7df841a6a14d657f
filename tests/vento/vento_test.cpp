// vento end to end: register, list, run the demo offline with a tap checked numerically, save, one
// clear line for every kind of bad graph file, and a panel opened while the graph runs, driven as a
// user would. The test registers this build's servers and, at the end, puts back the registration
// it found: none, or that of the build whose vento.exe registered them before.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <cmath>
#include <algorithm>
#include <complex>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <fstream>
#include <numbers>
#include <regex>
#include <sstream>
#include <string>
#include <vector>
#include "nsp.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    DWORD code = 0;
    std::string out, err;
};

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

HANDLE inheritableFile(const fs::path& file)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct FindFrame {
    DWORD process;
    HWND found = nullptr;
};

BOOL CALLBACK findFrame(HWND window, LPARAM data)
{
    auto* find = reinterpret_cast<FindFrame*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (process == find->process && IsWindowVisible(window) && std::wstring(caption).starts_with(L"Properties for ")) {
        find->found = window;
        return FALSE;
    }
    return TRUE;
}

// The property frame vento shows, a top-level window of another process; null if none yet.
HWND frameOf(DWORD process)
{
    FindFrame find{process};
    EnumWindows(findFrame, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// Runs vento.exe with the arguments and collects what it printed. With `act`, plays the user: once
// vento's property frame shows, `act` gets it. What vento prints goes to files, not pipes: the
// first window of a Wine session starts helper processes that inherit the handles and would keep a
// pipe open after vento ends. A frame that never shows, or a vento that does not end, is killed
// (exit code 9997, 9998): the test fails, it never hangs.
Result run(const fs::path& exe, const std::wstring& arguments, const std::function<void(HWND)>& act = {})
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring stem = L"vento_out_" + std::to_wstring(GetCurrentProcessId());
    const fs::path outFile = fs::path(temp) / (stem + L".out"), errFile = fs::path(temp) / (stem + L".err");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = inheritableFile(outFile);
    startup.hStdError = inheritableFile(errFile);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = L"\"" + exe.wstring() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    Result result;
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started) {
        result.code = 9999;
        return result;
    }
    if (act) {
        HWND frame = nullptr;
        for (int i = 0; i < 300 && !frame; ++i) {
            if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break; // ended by itself
            frame = frameOf(process.dwProcessId);
        }
        if (frame) act(frame);
        else if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 9997);
    }
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 9998);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &result.code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    result.out = contents(outFile);
    result.err = contents(errFile);
    DeleteFileW(outFile.c_str());
    DeleteFileW(errFile.c_str());
    return result;
}

Result vento(const std::wstring& arguments, const std::function<void(HWND)>& act = {})
{
    return run(VENTO_EXE, arguments, act);
}

// The vento.exe beside the FFT server the catalogue names, the build that registered the suite;
// empty when nothing is registered or that build is gone.
fs::path registeredVento()
{
    wchar_t clsid[64];
    DWORD size = sizeof clsid;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Vento\\Modules", L"FFT", RRF_RT_REG_SZ, nullptr, clsid, &size))
        return {};
    wchar_t server[MAX_PATH];
    size = sizeof server;
    if (RegGetValueW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32").c_str(), nullptr,
                     RRF_RT_REG_SZ, nullptr, server, &size))
        return {};
    fs::path exe = fs::path(server).parent_path() / L"vento.exe";
    return fs::exists(exe) ? exe : fs::path();
}

// A folder beside the test program, for what a later test reads; emptied first.
fs::path emptyFolderBesideProgram(const wchar_t* name)
{
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const fs::path folder = fs::path(program).parent_path() / name;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return folder;
}

std::wstring wide(const fs::path& p) { return L"\"" + p.wstring() + L"\""; }

class Vento : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        previous = registeredVento();
        Result r = vento(L"register");
        ASSERT_EQ(0u, r.code) << r.err;
    }
    static void TearDownTestSuite()
    {
        Result r = previous.empty() ? vento(L"unregister -q") : run(previous, L"register -q");
        EXPECT_EQ(0u, r.code) << r.err;
    }
    static inline fs::path previous;
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = fs::path(temp) / (L"vento_test_" + std::to_wstring(GetCurrentProcessId()));
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    fs::path write(const std::wstring& name, const std::string& text)
    {
        fs::path file = dir / name;
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    fs::path demo()
    {
        fs::path file = dir / L"demo.xml";
        fs::copy_file(fs::path(VENTO_EXAMPLES) / L"demo.xml", file, fs::copy_options::overwrite_existing);
        return file;
    }
    // A copy of the picture example that names its picture in full (the example names it from the
    // repository's folder).
    fs::path picture()
    {
        std::string text = contents(fs::path(VENTO_EXAMPLES) / L"picture.xml");
        const std::string relative = "examples/picture.bmp";
        const std::wstring full = (fs::path(VENTO_EXAMPLES) / L"picture.bmp").wstring();
        text.replace(text.find(relative), relative.size(), std::string(full.begin(), full.end()));
        return write(L"picture.xml", text);
    }
    fs::path dir;
};

// The page inside the frame: the child that holds control `id`.
HWND pageHolding(HWND frame, int id)
{
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, id)) return child;
    return nullptr;
}

// What a user does in SignalW's panel: drags the amplitude slider to `position` (hundredths).
void dragAmplitude(HWND frame, int position)
{
    const int amplitudeSlider = 202;
    HWND page = pageHolding(frame, amplitudeSlider);
    if (!page) return; // the test sees the unchanged file
    HWND bar = GetDlgItem(page, amplitudeSlider);
    SendMessageW(bar, TBM_SETPOS, TRUE, position);
    SendMessageW(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), LPARAM(bar));
}

void press(HWND frame, int button)
{
    PostMessageW(frame, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(frame, button)));
}

// The value of the float setting `name` of the first module that has it; NaN when none does.
double savedFloat(const std::string& graph, const std::string& name)
{
    std::smatch m;
    if (!std::regex_search(graph, m, std::regex("name=\"" + name + "\" value=\"([^\"]*)\""))) return std::nan("");
    return std::stod(m[1].str());
}

std::vector<float> readFloats(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> values(bytes.size() / sizeof(float));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
    return values;
}

TEST_F(Vento, ListShowsEveryBuiltModuleWithItsPins)
{
    Result r = vento(L"list");
    ASSERT_EQ(0u, r.code) << r.err;
    for (const char* name : {"FFT ", "iFFT ", "Magnitude ", "Filter ", "Convolution ", "SignalW ", "GraphWindow ", "BMP ",
                             "Image "})
        EXPECT_NE(std::string::npos, ("\n" + r.out).find(std::string("\n") + name)) << name << "missing in\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find("Perform an FFT.")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("in:Frequency(1) out:Default(128)")) << r.out;
}

// The demo's filtered noise keeps the band of bins 10 to 30 (ramps of 2 bins on either side).
TEST_F(Vento, TheDemoRunOfflineLeavesTheBandInTheTap)
{
    fs::path graph = demo(), tap = dir / L"filtered.raw";
    Result r = vento(L"run " + wide(graph) + L" --offline --blocks 40 --tap ifft.Default=" + wide(tap));
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("ifft         40")) << r.out;
    std::vector<float> x = readFloats(tap);
    ASSERT_EQ(40u * 128u, x.size());
    double inside = 0, outside = 0;
    for (size_t block = 0; block < 40; ++block) {
        for (int k = 0; k <= 64; ++k) {
            std::complex<double> c;
            for (int t = 0; t < 128; ++t)
                c += double(x[block * 128 + size_t(t)]) * std::polar(1.0, -2 * std::numbers::pi * k * t / 128);
            (k >= 8 && k <= 32 ? inside : outside) += std::norm(c);
        }
    }
    EXPECT_GT(inside, 100.0) << "the band holds the noise's energy";
    EXPECT_LT(outside, inside * 1e-6) << "outside the band: " << outside << ", inside: " << inside;
}

// The graph window's picture, named after its module. It stays beside the test program, where
// ImageMagick reads it back next (the vento_snapshot_png test).
TEST_F(Vento, SnapshotSavesEachWindowAsAPngNamedAfterItsModule)
{
    const fs::path folder = emptyFolderBesideProgram(L"vento_snapshot");
    Result r = vento(L"run " + wide(demo()) + L" --offline --blocks 20 --snapshot " + wide(folder));
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("scope.png")) << r.out;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename());
    ASSERT_EQ(std::vector<fs::path>{L"scope.png"}, files) << "one window, one picture";
    EXPECT_EQ(0u, contents(folder / L"scope.png").find("\x89PNG\r\n\x1a\n"));
}

// The picture example: its BMP file through the BMP module into an Image window. The picture of the
// window stays beside the test program, where ImageMagick compares it with the BMP file next (the
// vento_picture_snapshot test).
TEST_F(Vento, ThePictureExampleShowsItsBmpFileInAnImageWindow)
{
    const fs::path folder = emptyFolderBesideProgram(L"picture_snapshot");
    const fs::path graph = picture();
    Result r = vento(L"run " + wide(graph) + L" --offline --blocks 1 --snapshot " + wide(folder));
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_EQ("", r.err) << "no message from the BMP module";
    EXPECT_NE(std::string::npos, r.out.find("view.png")) << r.out;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename());
    ASSERT_EQ(std::vector<fs::path>{L"view.png"}, files);
    // The window fitted itself to the 120 x 80 picture and handed that placement to the graph file.
    const std::string saved = contents(graph);
    EXPECT_EQ(120 + 37, savedFloat(saved, "Width")) << saved;
    EXPECT_EQ(80 + 85, savedFloat(saved, "Height")) << saved;
}

TEST_F(Vento, OfflineAndRealTimeGiveTheSameTapAndCsvHoldsABlockALine)
{
    fs::path graph = demo(), raw = dir / L"offline.raw", csv = dir / L"realtime.csv";
    ASSERT_EQ(0u, vento(L"run " + wide(graph) + L" -q --offline --blocks 6 --tap tone.Default=" + wide(raw)).code);
    Result r = vento(L"run " + wide(graph) + L" -q --blocks 6 --tap tone.Default=" + wide(csv));
    ASSERT_EQ(0u, r.code) << r.err;
    std::vector<float> offline = readFloats(raw), realTime;
    std::ifstream in(csv);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) realTime.push_back(std::stof(field));
    }
    EXPECT_EQ(6, lines);
    EXPECT_EQ(offline, realTime);
}

// --stats: after the run, a header and one row per module with its figures; the paced source (tone)
// also with its lateness, the others with "-" there. Offline the clock moves by whole intervals, so
// the source's blocks are all on their grid. Timings are only checked to be figures.
TEST_F(Vento, StatsPrintARowPerModuleOfflineAndInRealTime)
{
    const fs::path graph = demo();
    for (const std::wstring how : {L"--offline --blocks 30", L"--seconds 1"}) {
        SCOPED_TRACE(std::string(how.begin(), how.end()));
        Result r = vento(L"run " + wide(graph) + L" -q --stats " + how);
        ASSERT_EQ(0u, r.code) << r.err;
        std::istringstream out(r.out);
        std::string line;
        std::map<std::string, std::vector<std::string>> rows;
        bool header = false;
        while (std::getline(out, line)) {
            std::istringstream words(line);
            std::vector<std::string> fields;
            for (std::string w; words >> w;) fields.push_back(w);
            if (line.find("module") != std::string::npos && line.find("within 1ms") != std::string::npos) header = true;
            else if (header && fields.size() == 10 && fields[5] == "|") rows[fields[0]] = fields;
        }
        ASSERT_TRUE(header) << r.out;
        ASSERT_EQ(6u, rows.size()) << r.out;
        for (const auto& [name, f] : rows) {
            SCOPED_TRACE(name);
            const long blocks = std::stol(f[1]), calls = std::stol(f[2]);
            EXPECT_GE(calls, blocks) << "a block takes a Process call";
            EXPECT_GT(calls, 0);
            EXPECT_GE(std::stod(f[3]), 0.0);
            EXPECT_GE(std::stod(f[4]), 0.0);
            if (name != "tone") {
                EXPECT_EQ((std::vector<std::string>{"-", "-", "-", "-"}), std::vector<std::string>(f.begin() + 6, f.end()));
                continue;
            }
            const double mean = std::stod(f[6]), p99 = std::stod(f[7]), max = std::stod(f[8]);
            const double within = std::stod(f[9]);
            EXPECT_LE(0.0, mean);
            EXPECT_LE(mean, max);
            EXPECT_LE(p99, max);
            EXPECT_TRUE(within >= 0.0 && within <= 100.0) << f[9];
            if (how.starts_with(L"--offline")) {
                EXPECT_EQ(30, blocks);
                EXPECT_EQ(0.0, max);
                EXPECT_EQ("100.0%", f[9]);
            } else {
                EXPECT_GT(blocks, 0);
                EXPECT_LE(blocks, 87) << "no more blocks than were due in 1 s at 128/11025";
            }
        }
        EXPECT_EQ(rows["tone"][1], rows["fft"][1]) << "every block went through";
    }
}

std::string narrowPath(const fs::path& p)
{
    std::string text;
    for (wchar_t c : p.wstring()) text += char(c);
    return text;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
    return text;
}

// No desktop, no user: the modules' message boxes are printed with the instance's name, answered,
// and the run goes on; offline, a graph of file sources ends by itself.
TEST_F(Vento, HeadlessRunsPrintAndAnswerTheModulesMessageBoxes)
{
    const fs::path graph = write(L"missing.xml",
        "<graph><module name=\"song\" type=\"WAV\"><string name=\"FileName\" value=\"" + narrowPath(dir / L"none.wav") +
        "\"/></module><module name=\"tape\" type=\"Recorder\"><string name=\"FileName\" value=\"" +
        narrowPath(dir / L"none.vento") + "\"/><panel><control id=\"5003\" click=\"1\"/></panel></module>"
        "<connect from=\"song.Default\" to=\"tape.Default\"/></graph>");
    Result r = vento(L"run " + wide(graph) + L" --offline -q");
    ASSERT_EQ(0u, r.code) << r.err;
    // The WAV module shows no box for its file: vento says that one itself.
    EXPECT_EQ("vento: tape: File Open Failed\nvento: warning: song: played nothing: cannot open '" + narrowPath(dir / L"none.wav") +
                  "' (no such file)\n",
              replaced(r.err, "\r\n", "\n"));
}

// examples/filter-wav.xml on a file sox made (vento_filter_input.wav, beside this program): the run
// ends with the file, and sox then finds as many samples in the output (vento_filter_output_length).
TEST_F(Vento, FilterWavExampleRunsUntilItsFileEnds)
{
    std::ifstream example(fs::path(VENTO_EXAMPLES) / L"filter-wav.xml", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
    const fs::path input = fs::current_path() / L"vento_filter_input.wav", output = fs::current_path() / L"vento_filtered.wav";
    ASSERT_TRUE(fs::exists(input)) << "sox makes it before this test";
    fs::remove(output);
    text = replaced(replaced(text, "\"input.wav\"", "\"" + narrowPath(input) + "\""), "\"filtered.wav\"", "\"" + narrowPath(output) + "\"");
    const fs::path graph = write(L"filter-wav.xml", text);
    Result r = vento(L"run " + wide(graph) + L" --offline");
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("input        12")) << "3000 samples: 12 blocks of 256\n" << r.out;
    EXPECT_EQ(fs::file_size(input), fs::file_size(output)) << "the same header and the same data";
}

// The WAV module shows no message for a file it cannot open: vento says it, once, naming the file.
TEST_F(Vento, AFileSourceThatCannotPlayItsFileIsOneWarning)
{
    std::ifstream example(fs::path(VENTO_EXAMPLES) / L"filter-wav.xml", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
    const fs::path missing = dir / L"no such input.wav";
    text = replaced(replaced(text, "\"input.wav\"", "\"" + narrowPath(missing) + "\""), "\"filtered.wav\"",
                    "\"" + narrowPath(dir / L"out.wav") + "\"");
    const fs::path graph = write(L"filter-wav.xml", text);
    Result r = vento(L"run " + wide(graph) + L" -q --offline");
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_EQ("vento: warning: input: played nothing: cannot open '" + narrowPath(missing) + "' (no such file)\n",
              replaced(r.err, "\r\n", "\n"));
    // Counting blocks, the run stops at once it sees the source stall, saying why.
    r = vento(L"run " + wide(graph) + L" -q --offline --blocks 5");
    EXPECT_NE(0u, r.code);
    EXPECT_NE(std::string::npos, r.err.find("'input' sent no block for 10 s of graph time (played nothing: cannot open")) << r.err;
}

// A recording made by the Recorder, exported as WAV (read by sox afterwards: vento_export_wav) and
// as CSV (a record a line: time offset, then the samples).
TEST_F(Vento, ExportTurnsARecordingIntoWavAndCsv)
{
    const fs::path recording = dir / L"tone.vento", csv = dir / L"tone.csv", wav = fs::current_path() / L"vento_export.wav";
    const fs::path graph = write(L"record.xml",
        "<graph><module name=\"tone\" type=\"SignalW\"><float name=\"SampleRate\" value=\"22050\"/></module>"
        "<module name=\"tape\" type=\"Recorder\"><string name=\"FileName\" value=\"" + narrowPath(recording) +
        "\"/><panel><control id=\"5002\" click=\"1\"/></panel></module>"
        "<connect from=\"tone.Default\" to=\"tape.Default\"/></graph>");
    Result r = vento(L"run " + wide(graph) + L" --offline --blocks 10 -q");
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(128u + 10u * (8u + 512u), fs::file_size(recording));
    r = vento(L"export " + wide(recording) + L" " + wide(wav));
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("exported 10 records, 1280 samples at 22050 per second")) << r.out;
    r = vento(L"export " + wide(recording) + L" " + wide(csv));
    ASSERT_EQ(0u, r.code) << r.err;
    std::ifstream lines(csv);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(10u, rows.size());
    EXPECT_EQ(129, std::count(rows[0].begin(), rows[0].end(), ',') + 1) << "the offset and 128 samples";
    EXPECT_EQ("0,", rows[0].substr(0, 2)) << "the first record starts the recording";
    r = vento(L"export " + wide(graph) + L" " + wide(dir / L"x.wav"));
    EXPECT_EQ(1u, r.code);
    EXPECT_NE(std::string::npos, r.err.find("is no recording")) << r.err;
}

TEST_F(Vento, SaveWritesTheSettingsBackAndTheFileLoadsAgainTheSame)
{
    fs::path graph = write(L"g.xml", R"(<graph>
  <module name="tone" type="SignalW"><float name="Amp" value="0.25"/><float name="Shape" value="1"/></module>
  <module name="fft" type="FFT"/>
  <module name="band" type="Filter"><panel><control id="5003" position="30"/></panel></module>
  <connect from="tone.Default" to="fft.Default"/>
  <connect from="fft.Default" to="band.Default"/>
</graph>)");
    Result r = vento(L"save " + wide(graph));
    ASSERT_EQ(0u, r.code) << r.err;
    std::string first;
    {
        std::ifstream in(graph);
        first.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Every SignalW setting, the given ones with their values; the panel and connections kept.
    for (const char* expected : {"name=\"Amp\" value=\"0.25\"", "name=\"Shape\" value=\"1\"", "name=\"BlockSize\" value=\"128\"",
                                 "name=\"SampleRate\" value=\"11025\"", "<control id=\"5003\" position=\"30\"",
                                 "from=\"fft.Default\" to=\"band.Default\"", "type=\"Filter\""})
        EXPECT_NE(std::string::npos, first.find(expected)) << expected << " missing in\n" << first;
    ASSERT_EQ(0u, vento(L"save " + wide(graph)).code);
    std::ifstream again(graph);
    std::string second((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    EXPECT_EQ(first, second) << "load, save, load gives the same graph";
}

TEST_F(Vento, EveryBadGraphIsOneClearLine)
{
    // A graph's text and the line vento answers it with.
    const std::pair<const char*, const char*> cases[] = {
        {"<graph><module name=\"a\" type=\"FFTX\"/></graph>", "bad.xml: module 'a': unknown module type 'FFTX'"},
        {"<graph><module name=\"a\" type=\"FFT\"/><module name=\"a\" type=\"iFFT\"/></graph>", "bad.xml: duplicate module name 'a'"},
        {"<graph><module name=\"a\" type=\"SignalW\"><float name=\"Amp\" value=\"loud\"/></module></graph>",
         "bad.xml: module 'a': setting 'Amp': unparsable number 'loud'"},
        {"<graph><module name=\"a\" type=\"FFT\"/><connect from=\"a.Default\" to=\"b.Default\"/></graph>",
         "bad.xml: connect 'a.Default' -> 'b.Default': unknown module 'b'"},
        {"<graph><module name=\"a\" type=\"FFT\"/><module name=\"b\" type=\"FFT\"/><connect from=\"a.Out\" to=\"b.Default\"/></graph>",
         "bad.xml: connect 'a.Out' -> 'b.Default': 'a' has no output pin 'Out'"},
        {"<graph><module name=\"a\" type=\"FFT\"/><module name=\"b\" type=\"FFT\"/><connect from=\"a.Default\" to=\"b.In\"/></graph>",
         "bad.xml: connect 'a.Default' -> 'b.In': 'b' has no input pin 'In'"},
        {"<graph><module name=\"a\" type=\"FFT\"/><module name=\"b\" type=\"FFT\"/><connect from=\"a.Default\" to=\"b.Default\"/>"
         "<connect from=\"b.Default\" to=\"a.Default\"/></graph>",
         "bad.xml: connections: the connections form a cycle through a, b"},
        {"<graph><module name=\"f\" type=\"Filter\"><panel><control id=\"5003\" position=\"99999\"/></panel></module></graph>",
         "bad.xml: f: panel: control 5003: position 99999 is outside 0.."},
        {"<graph><module name=\"f\" type=\"Filter\"/></graph>",
         "'f' sent no block for 10 s of graph time (is its input connected?)"},
        {"<graph><module name=\"a\" type=\"FFT\"></graph>", "bad.xml: not a readable XML file"},
        {"<modules/>", "bad.xml: the root element is not <graph>"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        fs::path graph = write(L"bad.xml", text);
        // Quiet: on a slow machine the stalled run outlasts a second and would print progress too.
        Result r = vento(L"run " + wide(graph) + L" --offline --blocks 1 -q");
        EXPECT_EQ(1u, r.code);
        EXPECT_EQ(0u, r.err.find(std::string("vento: ") + message)) << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    }
    Result missing = vento(L"run " + wide(dir / L"nothing.xml"));
    EXPECT_EQ(1u, missing.code);
    EXPECT_EQ("vento: nothing.xml: no such file\r\n", missing.err);
    Result usage = vento(L"run");
    EXPECT_EQ(2u, usage.code);
    EXPECT_EQ("vento: run: which graph? (vento run GRAPH)\r\n", usage.err);
    Result help = vento(L"run --help");
    EXPECT_EQ(0u, help.code);
    EXPECT_EQ(0u, help.out.find("usage: vento run GRAPH"));
}

// One line of vento's process figures ("  at load    private 67160 KiB, ... windows 3"), by name.
std::map<std::string, double> processFigures(const std::string& out, const std::string& line)
{
    std::map<std::string, double> figures;
    const size_t at = out.find("\n  " + line + " ");
    if (at == std::string::npos) return figures;
    const std::string text = out.substr(at + 3 + line.size(), out.find('\n', at + 1) - at - 3 - line.size());
    std::smatch m;
    for (const char* name : {"private", "handles", "GDI objects", "windows"})
        if (std::regex_search(text, m, std::regex(std::string(name) + " ([0-9]+)"))) figures[name] = std::stod(m[1].str());
    return figures;
}

// The short soak: the showcase (every module at once) for 10,000 blocks of its sources, offline. At
// the end the process holds no more handles, GDI objects or windows than once the graph was loaded,
// and little more memory (the modules' buffers are sized by their first blocks). scripts/soak.sh
// runs the long one.
TEST_F(Vento, TheShowcaseRunsTenThousandBlocksHoldingNoMoreThanItStartedWith)
{
    std::string text = contents(fs::path(VENTO_EXAMPLES) / L"showcase.xml");
    const std::string relative = "examples/picture.bmp";
    const std::wstring full = (fs::path(VENTO_EXAMPLES) / L"picture.bmp").wstring();
    text.replace(text.find(relative), relative.size(), std::string(full.begin(), full.end()));
    const fs::path graph = write(L"showcase.xml", text);

    Result r = vento(L"run " + wide(graph) + L" --offline --blocks 10000 --stats");
    ASSERT_EQ(0u, r.code) << r.err;
    std::istringstream errors(r.err);
    for (std::string line; std::getline(errors, line);) EXPECT_EQ(0u, line.find("running: ")) << "only progress: " << line;
    for (const char* module : {"sweep", "noise"})
        EXPECT_TRUE(std::regex_search(r.out, std::regex(std::string("\n  ") + module + " +10000\r?\n"))) << module << "\n" << r.out;
    for (const char* module : {"chartview", "scope", "mag", "conv", "stream", "overlap", "ring", "view"})
        EXPECT_TRUE(std::regex_search(r.out, std::regex(std::string("\n  ") + module + " +[1-9][0-9]*\r?\n"))) << module << " sent nothing\n"
                                                                                                               << r.out;
    auto atLoad = processFigures(r.out, "at load"), atEnd = processFigures(r.out, "at the end");
    ASSERT_EQ(4u, atLoad.size()) << r.out;
    ASSERT_EQ(4u, atEnd.size()) << r.out;
    EXPECT_GT(atLoad["handles"], 0) << "handles are counted under Wine too";
    EXPECT_GT(atLoad["GDI objects"], 0) << "GDI objects are counted under Wine too";
    EXPECT_LE(atEnd["handles"], atLoad["handles"]) << r.out;
    EXPECT_LE(atEnd["GDI objects"], atLoad["GDI objects"]) << r.out;
    EXPECT_LE(atEnd["windows"], atLoad["windows"]) << r.out;
    EXPECT_LE(atEnd["private"], atLoad["private"] + 8192) << "KiB\n" << r.out;
}

// The panel verb, with a watcher playing the user in the frame vento shows.
// --- the gain chart: Sweep, SignalW, FIR and Spectrum together, paced by the engine -------------

// One full sweep of examples/gain-chart.xml. Each charted bin holds the peak of the block measured
// at the frequency written last into it (40 k + 30 Hz; 4000 Hz in bin 100); divided by the
// generator's amplitude it must match the magnitude response of the FIR's own coefficients (the
// design its settings ask for), wherever a 128-sample block holds at least one period.
//
// The tolerance is 0.5 dB, measured on readings floored at -30 dB, against the responses at the
// frequency and at the one 10 Hz below it:
// - a block starts with the filter still ringing with the previous sweep value (10 Hz lower) for
//   taps - 1 samples, so on a falling edge its peak is that frequency's response;
// - below -30 dB (3 % of the passband) the chart reads the leakage of the sweep's frequency steps
//   (-45 dB and below) more than the filter, so any reading or response below counts as -30 dB;
// - what remains (the largest sample missing the crest of a sampled sine, float rounding) stays
//   under 0.13 dB in a double-precision model of this chain; 0.5 dB leaves room for that and is a
//   third of what a generator one sweep step out of step with the chart gives (1.6 dB on the band's
//   edges), which is what a fault in the engine's pacing of the two sources would show.
TEST_F(Vento, TheGainChartOfOneSweepIsTheFiltersResponse)
{
    const fs::path graph = dir / L"gain-chart.xml", chart = dir / L"gain.csv";
    fs::copy_file(fs::path(VENTO_EXAMPLES) / L"gain-chart.xml", graph);
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const fs::path pictures = fs::path(program).parent_path() / L"gain_chart"; // ImageMagick reads it next
    std::error_code ignored;
    fs::remove_all(pictures, ignored);

    Result r = vento(L"run " + wide(graph) + L" --offline --blocks 401 --chart chart.Default=" + wide(chart) +
                     L" --bin-hz 40 --snapshot " + wide(pictures));
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n  sweep +401\r?\n"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n  chart +401\r?\n"))) << "a chart per signal block\n" << r.out;
    EXPECT_TRUE(fs::exists(pictures / L"scope.png")) << r.out;

    std::ifstream in(chart);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ("frequency_hz,gain", line);
    std::vector<double> peaks;
    while (std::getline(in, line)) {
        double hertz = 0, peak = 0;
        ASSERT_EQ(2, std::sscanf(line.c_str(), "%lf,%lf", &hertz, &peak)) << line;
        ASSERT_EQ(40.0 * double(peaks.size()), hertz) << line;
        peaks.push_back(peak);
    }
    ASSERT_EQ(101u, peaks.size());

    const std::string file = contents(graph);
    const double amplitude = savedFloat(file, "Amp");
    const int taps = int(savedFloat(file, "Taps"));
    ASSERT_EQ(3.0, savedFloat(file, "Type")) << "a band pass";
    std::vector<double> designed(static_cast<size_t>(taps));
    ASSERT_EQ(0, nspdFirBandpass(float(savedFloat(file, "Low")), float(savedFloat(file, "High")), designed.data(), taps,
                                 NSP_WinHamming, 1));
    const std::vector<float> h(designed.begin(), designed.end());
    auto responseDb = [&](double hertz) {
        std::complex<double> sum;
        for (size_t k = 0; k < h.size(); ++k) sum += double(h[k]) * std::polar(1.0, -2 * std::numbers::pi * hertz / 11025 * double(k));
        return std::max(20 * std::log10(std::abs(sum)), -30.0);
    };
    int checked = 0;
    for (size_t k = 0; k < peaks.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "bin " << k);
        ASSERT_GT(peaks[k], 0.0) << "every bin is written in one sweep";
        const double hertz = std::min(40.0 * double(k) + 30, 4000.0);
        if (hertz * 128 / 11025 < 1) continue; // no whole period in a block
        const double chartDb = std::max(20 * std::log10(peaks[k] / amplitude), -30.0);
        const double atHertz = responseDb(hertz), below = responseDb(hertz - 10);
        EXPECT_GE(chartDb, std::min(atHertz, below) - 0.5) << hertz << " Hz";
        EXPECT_LE(chartDb, std::max(atHertz, below) + 0.5) << hertz << " Hz";
        ++checked;
    }
    EXPECT_EQ(99, checked);
    // The band itself: 0 dB in the middle, more than 40 dB down well outside it.
    EXPECT_NEAR(1.0, peaks[25] / amplitude, 0.01);
    EXPECT_LT(peaks[75] / amplitude, 0.01);
}

TEST_F(Vento, BadChartRequestsAreOneClearLine)
{
    fs::path graph = write(L"fft.xml", "<graph><module name=\"a\" type=\"FFT\"/></graph>");
    const fs::path csv = dir / L"c.csv";
    const struct {
        std::wstring options;
        DWORD code;
        std::string message;
    } cases[] = {
        {L"--chart b.Default=" + wide(csv), 1, "vento: --chart: the graph has no module 'b'\r\n"},
        {L"--chart a.Out=" + wide(csv), 1, "vento: --chart: 'a' has no output pin 'Out'\r\n"},
        {L"--chart a.Default=" + wide(csv), 1, "vento: --chart: 'a.Default' sent no block\r\n"},
        {L"--chart a.Default", 2, "vento: --chart: write INSTANCE.PIN=FILE, not a.Default\r\n"},
        {L"--chart a.Default=" + wide(csv) + L" --bin-hz 0", 2, "vento: --bin-hz: not a positive number: 0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Result r = vento(L"run " + wide(graph) + L" -q --offline --seconds 0.1 " + c.options);
        EXPECT_EQ(c.code, r.code);
        EXPECT_EQ(c.message, r.err);
    }
}

class VentoPanel : public Vento {
protected:
    fs::path tone()
    {
        return write(L"tone.xml", R"(<graph>
  <module name="tone" type="SignalW"><float name="Amp" value="0.25"/><float name="Shape" value="0"/></module>
  <module name="fft" type="FFT"/>
  <connect from="tone.Default" to="fft.Default"/>
</graph>)");
    }
};

TEST_F(VentoPanel, OkAfterMovingTheAmplitudeSliderSavesTheNewAmplitude)
{
    fs::path graph = tone();
    std::wstring caption;
    Result r = vento(L"panel " + wide(graph) + L" tone", [&](HWND frame) {
        wchar_t text[64] = {};
        GetWindowTextW(frame, text, 64);
        caption = text;
        dragAmplitude(frame, 70);
        Sleep(300); // the graph runs on meanwhile: about 25 blocks of 128 at 11025 Hz
        press(frame, IDOK);
    });
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_EQ(L"Properties for tone", caption);
    std::string saved = contents(graph);
    EXPECT_NEAR(0.70, savedFloat(saved, "Amp"), 1e-6) << saved;
    EXPECT_NE(std::string::npos, saved.find("from=\"tone.Default\" to=\"fft.Default\"")) << saved;
    EXPECT_NE(std::string::npos, r.out.find("saved ")) << r.out;
    std::smatch sent;
    ASSERT_TRUE(std::regex_search(r.out, sent, std::regex("\n  fft +([0-9]+)"))) << r.out;
    EXPECT_GT(std::stol(sent[1].str()), 0) << "the graph ran while the panel was open";
}

TEST_F(VentoPanel, CancelAfterAChangeAndOkWithoutOneLeaveTheFileAsItWas)
{
    fs::path graph = tone();
    const std::string before = contents(graph);
    Result cancelled = vento(L"panel " + wide(graph) + L" tone --offline", [](HWND frame) {
        dragAmplitude(frame, 70);
        press(frame, IDCANCEL);
    });
    ASSERT_EQ(0u, cancelled.code) << cancelled.err;
    EXPECT_EQ(before, contents(graph)) << "Cancel saved the graph";

    Result closed = vento(L"panel " + wide(graph) + L" tone", [](HWND frame) {
        dragAmplitude(frame, 70);
        PostMessageW(frame, WM_CLOSE, 0, 0);
    });
    ASSERT_EQ(0u, closed.code) << closed.err;
    EXPECT_EQ(before, contents(graph)) << "closing the frame saved the graph";

    Result unchanged = vento(L"panel " + wide(graph) + L" tone", [](HWND frame) { press(frame, IDOK); });
    ASSERT_EQ(0u, unchanged.code) << unchanged.err;
    EXPECT_EQ(before, contents(graph)) << "OK without a change saved the graph";
}

TEST_F(VentoPanel, TheBmpPanelNamesAnotherPictureAndOkSavesIt)
{
    const fs::path graph = picture(), other = dir / L"other.bmp";
    fs::copy_file(fs::path(VENTO_EXAMPLES) / L"picture.bmp", other);
    Result r = vento(L"panel " + wide(graph) + L" bmp", [&](HWND frame) {
        const int fileName = 203;
        if (HWND page = pageHolding(frame, fileName)) SetWindowTextW(GetDlgItem(page, fileName), other.c_str());
        press(frame, IDOK);
    });
    ASSERT_EQ(0u, r.code) << r.err;
    const std::string saved = contents(graph);
    EXPECT_NE(std::string::npos, saved.find("other.bmp\"")) << saved << r.out;
}

TEST_F(VentoPanel, BadRequestsAreOneLineWithoutAFrame)
{
    fs::path graph = tone();
    const std::string before = contents(graph);
    const struct {
        std::wstring arguments;
        DWORD code;
        std::string message;
    } cases[] = {
        {L"panel " + wide(graph) + L" nobody", 1, "vento: the graph has no module 'nobody'\r\n"},
        {L"panel " + wide(dir / L"nothing.xml") + L" tone", 1, "vento: nothing.xml: no such file\r\n"},
        {L"panel " + wide(graph), 2, "vento: panel: which graph and module? (vento panel GRAPH INSTANCE)\r\n"},
        {L"panel " + wide(graph) + L" tone --fast", 2, "vento: panel: unknown option --fast\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        bool frameShown = false;
        Result r = vento(c.arguments, [&](HWND frame) {
            frameShown = true;
            press(frame, IDCANCEL);
        });
        EXPECT_EQ(c.code, r.code);
        EXPECT_EQ(c.message, r.err);
        EXPECT_FALSE(frameShown);
    }
    EXPECT_EQ(before, contents(graph));
    Result help = vento(L"panel --help");
    EXPECT_EQ(0u, help.code);
    EXPECT_EQ(0u, help.out.find("usage: vento panel GRAPH INSTANCE"));
    EXPECT_NE(std::string::npos, vento(L"--help").out.find("  panel GRAPH INST"));
}

// SignalW keeps its block size when given -5: run and panel say so in a warning, or with --strict
// fail with it before anything runs. Its own rounding (100.5 taken as 100) and a phase it saves but
// never loads are no refusals.
TEST_F(VentoPanel, RefusedSettingsAreWarningsAndErrorsWithStrict)
{
    const fs::path graph = write(L"g.xml", R"(<graph>
  <module name="tone" type="SignalW"><float name="Amp" value="0.5"/><float name="BlockSize" value="-5"/></module>
  <module name="fft" type="FFT"/>
  <connect from="tone.Default" to="fft.Default"/>
</graph>)");
    const std::string refusal = "g.xml: module 'tone': setting 'BlockSize' = -5 was refused; it keeps 128\r\n";
    Result warned = vento(L"run " + wide(graph) + L" --offline --blocks 2 -q");
    EXPECT_EQ(0u, warned.code);
    EXPECT_EQ("vento: warning: " + refusal, warned.err);
    Result strict = vento(L"run " + wide(graph) + L" --offline --blocks 2 -q --strict");
    EXPECT_EQ(1u, strict.code);
    EXPECT_EQ("vento: " + refusal, strict.err);

    bool frameShown = false;
    Result panelStrict = vento(L"panel " + wide(graph) + L" tone --offline --strict", [&](HWND frame) {
        frameShown = true;
        press(frame, IDCANCEL);
    });
    EXPECT_EQ(1u, panelStrict.code);
    EXPECT_EQ("vento: " + refusal, panelStrict.err);
    EXPECT_FALSE(frameShown);
    Result panel = vento(L"panel " + wide(graph) + L" tone --offline -q", [](HWND frame) { press(frame, IDCANCEL); });
    EXPECT_EQ(0u, panel.code);
    EXPECT_EQ("vento: warning: " + refusal, panel.err);

    const fs::path taken = write(L"taken.xml", R"(<graph>
  <module name="tone" type="SignalW"><float name="BlockSize" value="100.5"/><float name="Phase" value="2"/></module>
</graph>)");
    Result none = vento(L"run " + wide(taken) + L" --offline --blocks 2 -q --strict");
    EXPECT_EQ(0u, none.code);
    EXPECT_EQ("", none.err);
}

// The FIR's panel in vento's frame: a band pass chosen, its taps moved, OK: the graph keeps them.
// What a user does in the FIR's panel: chooses filter type `entry` (0 low pass, 2 band pass), drags
// the taps to 60, presses OK.
std::function<void(HWND)> firOf60Taps(int entry)
{
    return [=](HWND frame) {
        const int typeList = 201, taps = 5005;
        HWND page = pageHolding(frame, typeList);
        if (!page) return; // the test sees the unchanged file
        SendDlgItemMessageW(page, typeList, CB_SETCURSEL, WPARAM(entry), 0);
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(typeList, CBN_SELCHANGE), LPARAM(GetDlgItem(page, typeList)));
        HWND bar = GetDlgItem(page, taps);
        SendMessageW(bar, TBM_SETPOS, TRUE, 60);
        SendMessageW(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 60), LPARAM(bar));
        press(frame, IDOK);
    };
}

TEST_F(VentoPanel, TheFirPanelSavesTheFilterChosenInIt)
{
    fs::path graph = write(L"fir.xml", R"(<graph>
  <module name="tone" type="SignalW"/>
  <module name="fir" type="FIR"/>
  <connect from="tone.Default" to="fir.Default"/>
</graph>)");
    Result r = vento(L"panel " + wide(graph) + L" fir --offline", firOf60Taps(2));
    ASSERT_EQ(0u, r.code) << r.err;
    const std::string saved = contents(graph);
    EXPECT_EQ(3.0, savedFloat(saved, "Type")) << saved;
    EXPECT_EQ(60.0, savedFloat(saved, "Taps")) << saved;
    EXPECT_NEAR(0.49, savedFloat(saved, "High"), 1e-6) << saved;
    EXPECT_NEAR(0.005, savedFloat(saved, "Low"), 1e-6) << saved;
}

// What a panel changed is what the saved file runs: its final control positions go into the module's
// <panel> (named as the file named them), so that values kept in no setting (the Filter's band) are
// kept, and the file's old panel values no longer undo what the settings now say (the FIR's type,
// SignalW's amplitude). Each saved file runs as the graph it stands for: the demo with the new band;
// the others as their settings alone.
TEST_F(VentoPanel, WhatAPanelChangedIsWhatTheSavedFileRuns)
{
    auto moveTrackbar = [](int id, int position) {
        return [=](HWND frame) {
            HWND page = pageHolding(frame, id);
            if (!page) return;
            HWND bar = GetDlgItem(page, id);
            SendMessageW(bar, TBM_SETPOS, TRUE, position);
            SendMessageW(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), LPARAM(bar));
            press(frame, IDOK);
        };
    };
    const auto lowPassOf60Taps = firOf60Taps(0);
    const std::string demoText = contents(fs::path(VENTO_EXAMPLES) / L"demo.xml");
    const std::regex panel("\\s*<panel>[\\s\\S]*?</panel>");
    const struct {
        const char* what;
        std::string graph;
        std::wstring instance;
        std::function<void(HWND)> act;
        std::string savedPanel;                            // in the saved file
        std::function<std::string(const std::string&)> twin; // the graph the saved file must run as
    } cases[] = {
        {"the Filter's band", demoText, L"band", moveTrackbar(5003, 45), "<control id=\"5003\" position=\"45\"/>",
         [&](const std::string&) { return replaced(demoText, "id=\"5003\" position=\"30\"", "id=\"5003\" position=\"45\""); }},
        {"the FIR's type and taps",
         "<graph>\n  <module name=\"tone\" type=\"SignalW\"><float name=\"Shape\" value=\"4\"/></module>\n"
         "  <module name=\"band\" type=\"FIR\"><panel><control id=\"201\" select=\"2\"/></panel></module>\n"
         "  <connect from=\"tone.Default\" to=\"band.Default\"/>\n</graph>\n",
         L"band", lowPassOf60Taps, "<control id=\"201\" select=\"0\"/>",
         [&](const std::string& saved) { return std::regex_replace(saved, panel, ""); }},
        {"SignalW's amplitude",
         "<graph>\n  <module name=\"tone\" type=\"SignalW\"><float name=\"Shape\" value=\"4\"/>\n"
         "    <panel><control label=\"Amplitude\" position=\"25\"/></panel></module>\n"
         "  <module name=\"band\" type=\"FFT\"/>\n  <connect from=\"tone.Default\" to=\"band.Default\"/>\n</graph>\n",
         L"tone", moveTrackbar(202, 70), "<control label=\"Amplitude\" position=\"70\"/>",
         [&](const std::string& saved) { return std::regex_replace(saved, panel, ""); }},
    };
    auto bandTap = [&](const fs::path& graph) {
        const fs::path tapFile = dir / L"band.raw";
        Result r = vento(L"run " + wide(graph) + L" -q --offline --blocks 20 --tap band.Default=" + wide(tapFile));
        EXPECT_EQ(0u, r.code) << r.err;
        return contents(tapFile);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path graph = write(L"panel.xml", c.graph);
        Result r = vento(L"panel " + wide(graph) + L" " + c.instance + L" --offline", c.act);
        ASSERT_EQ(0u, r.code) << r.err;
        const std::string saved = contents(graph);
        EXPECT_NE(std::string::npos, saved.find(c.savedPanel)) << saved;
        const std::string ran = bandTap(graph);
        const fs::path twin = write(L"twin.xml", c.twin(saved));
        EXPECT_FALSE(ran.empty());
        EXPECT_TRUE(ran == bandTap(twin)) << "the saved file runs otherwise than\n" << contents(twin);
    }
}

// Saving a file a person wrote keeps what they wrote: comments, numbers as they wrote them, modules
// without settings in one element. A second save changes nothing.
TEST_F(Vento, SavingKeepsCommentsNumbersAndLayout)
{
    const fs::path graph = demo();
    ASSERT_EQ(0u, vento(L"save " + wide(graph)).code);
    const std::string once = contents(graph);
    for (const char* kept : {"<!-- White noise, band-passed in the frequency domain", "<float name=\"Amp\" value=\"0.8\"/>",
                             "<module name=\"fft\" type=\"FFT\"/>", "<control id=\"5003\" position=\"30\"/>",
                             "  <connect from=\"scope.Default\" to=\"file.Input\"/>\n</graph>"})
        EXPECT_NE(std::string::npos, once.find(kept)) << kept << " is gone:\n" << once;
    ASSERT_EQ(0u, vento(L"save " + wide(graph)).code);
    EXPECT_EQ(once, contents(graph));
}

// --- the examples of the block-stream modules -----------------------------------------------------

class VentoExample : public Vento {
protected:
    fs::path example(const std::wstring& name)
    {
        fs::path file = dir / (name + L".xml");
        fs::copy_file(fs::path(VENTO_EXAMPLES) / (name + L".xml"), file, fs::copy_options::overwrite_existing);
        return file;
    }
    // Runs the example offline for `blocks` blocks of every source, with taps, leaving the picture of
    // its window beside this program in examples_snapshot/<name>/ (ImageMagick reads it back next).
    void runExample(const std::wstring& name, long blocks, const std::wstring& taps)
    {
        wchar_t program[MAX_PATH];
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        const fs::path folder = fs::path(program).parent_path() / L"examples_snapshot" / name;
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        Result r = vento(L"run " + wide(example(name)) + L" -q --offline --blocks " + std::to_wstring(blocks) + L" --snapshot " +
                         wide(folder) + L" " + taps);
        ASSERT_EQ(0u, r.code) << r.err;
        EXPECT_EQ(0u, contents(folder / L"scope.png").find("\x89PNG\r\n\x1a\n")) << "no picture of the graph window";
    }
    std::wstring tap(const std::wstring& pin, const std::wstring& file) { return L"--tap " + pin + L"=" + wide(dir / file); }
};

// The strength of `hertz` in `x` sampled at `rate`: the magnitude of one DFT bin, per sample.
double strength(const std::vector<float>& x, double hertz, double rate)
{
    std::complex<double> sum;
    for (size_t t = 0; t < x.size(); ++t) sum += double(x[t]) * std::polar(1.0, -2 * std::numbers::pi * hertz * double(t) / rate);
    return std::abs(sum) / double(x.size());
}

TEST_F(VentoExample, ResampleKeepsTheToneAtItsFrequencyFourTimesAsDense)
{
    runExample(L"resample", 40, tap(L"stream.Default", L"stream.raw"));
    std::vector<float> x = readFloats(dir / L"stream.raw");
    ASSERT_EQ(40u * 512u, x.size()) << "one block of 512 for every block of 128";
    const double tone = 6 * 11025.0 / 128; // SignalW's tone: six cycles per block of 128
    x.erase(x.begin(), x.begin() + 4096);
    EXPECT_GT(strength(x, tone, 44100), 0.35) << "amplitude 0.8 at the tone's frequency";
    for (double other : {tone * 1.5, tone * 2, 11025 - tone, 11025 + tone})
        EXPECT_LT(strength(x, other, 44100), 0.02) << other << " Hz";
}

TEST_F(VentoExample, RingModulatorHoldsTheSumAndDifferenceFrequenciesOnly)
{
    runExample(L"ring-modulator", 40, tap(L"ring.Default", L"ring.raw") + L" " + tap(L"ring.Diagnostic", L"queues.raw"));
    // Connections in the order of the file: 0 the carrier, whose blocks of 128 are used up as they
    // come; 1 the modulator, whose blocks of 256 leave 128 samples waiting every other block.
    std::vector<float> queues = readFloats(dir / L"queues.raw");
    ASSERT_EQ(0u, queues.size() % 10);
    size_t halfFull = 0;
    for (size_t b = 0; b < queues.size(); b += 10) {
        EXPECT_EQ(0.0f, queues[b]) << "block " << b / 10;
        halfFull += queues[b + 1] == 0.128f;
    }
    EXPECT_GE(halfFull, queues.size() / 10 / 2 - 2);
    std::vector<float> x = readFloats(dir / L"ring.raw");
    ASSERT_GE(x.size(), 60u * 128u) << "two sources of 128 and 256 a block: 80 blocks of 128 or so";
    // After the first blocks, in which the queues fill, every block is the product of both tones.
    x.erase(x.begin(), x.begin() + 8 * 128);
    x.resize(48 * 128);
    EXPECT_GT(strength(x, 875, 11025), 0.15);
    EXPECT_GT(strength(x, 1125, 11025), 0.15);
    EXPECT_LT(strength(x, 1000, 11025), 0.01) << "no carrier left";
    EXPECT_LT(strength(x, 125, 11025), 0.01);
}

TEST_F(VentoExample, OverlappedSpectrumSharesHalfOfEachBlockAndPeaksAtTheTone)
{
    runExample(L"overlapped-spectrum", 40, tap(L"overlap.Default", L"overlap.raw") + L" " + tap(L"magnitude.Default", L"magnitude.raw"));
    std::vector<float> blocks = readFloats(dir / L"overlap.raw"), spectra = readFloats(dir / L"magnitude.raw");
    // Two blocks for every block of the tone but the first and the last: the run ends with the
    // pass that brings the tone's 40th.
    ASSERT_EQ(78u * 128u, blocks.size());
    for (size_t b = 1; b < 78; ++b)
        ASSERT_TRUE(std::equal(blocks.begin() + long(b * 128 - 64), blocks.begin() + long(b * 128), blocks.begin() + long(b * 128)))
            << "block " << b << " begins with the last 64 samples of the one before";
    ASSERT_EQ(78u * 65u, spectra.size()) << "bins 0 to 64 of each block";
    for (size_t b = 0; b < 78; ++b) {
        auto first = spectra.begin() + long(b * 65);
        EXPECT_EQ(12, std::max_element(first, first + 65) - first) << "block " << b << ": the tone's bin";
    }
}

// An offline run gives the blocks a real-time run gives, only faster: every example graph, with taps
// on the pins where its modules' work shows, byte for byte. The ring modulator is left out: its
// Multiplier paces itself and takes whatever its queues hold when it falls due, so in real time its
// blocks depend on how its sources' sends fall between its own (the showcase has one too).
// Real time on a loaded machine falls behind: its sources then catch up a block a pass, and a module
// that sends several blocks for one of its input's (Overlap) has sent fewer by the end. What it sent
// is still the start of the same stream, so a real-time tap must always begin the offline one, and
// equal it in one of three runs.
TEST_F(VentoExample, EveryExampleGivesTheSameTapsOfflineAsInRealTime)
{
    const fs::path input = fs::current_path() / L"vento_filter_input.wav";
    ASSERT_TRUE(fs::exists(input)) << "sox makes it before this test";
    const struct {
        std::wstring graph;
        long blocks;
        std::vector<std::wstring> pins;
    } cases[] = {
        {L"demo", 40, {L"tone.Default", L"band.Default", L"ifft.Default", L"scope.Default"}},
        {L"resample", 40, {L"stream.Default"}},
        {L"overlapped-spectrum", 40, {L"overlap.Default", L"magnitude.Default"}},
        {L"gain-chart", 60, {L"sweep.Default", L"tone.Default", L"fir.Default", L"chart.Default"}},
        {L"filter-wav", 12, {L"input.Default", L"band.Default"}},
        {L"picture", 1, {L"bmp.Default", L"view.Default"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.graph.begin(), c.graph.end()));
        std::string text = contents(fs::path(VENTO_EXAMPLES) / (c.graph + L".xml"));
        text = replaced(text, "examples/picture.bmp", narrowPath(fs::path(VENTO_EXAMPLES) / L"picture.bmp"));
        text = replaced(replaced(text, "\"input.wav\"", "\"" + narrowPath(input) + "\""), "\"filtered.wav\"",
                        "\"" + narrowPath(dir / L"filtered.wav") + "\"");
        const fs::path graph = write(c.graph + L".xml", text);
        auto taps = [&](bool offline) {
            std::wstring arguments = L"run " + wide(graph) + L" -q --blocks " + std::to_wstring(c.blocks) + (offline ? L" --offline" : L"");
            for (const auto& pin : c.pins) arguments += L" " + tap(pin, pin + L".raw");
            Result r = vento(arguments);
            EXPECT_EQ(0u, r.code) << r.err;
            std::map<std::wstring, std::string> sent;
            for (const auto& pin : c.pins) sent[pin] = contents(dir / (pin + L".raw"));
            return sent;
        };
        const auto offline = taps(true);
        bool equal = false;
        for (int attempt = 0; attempt < 3 && !equal; ++attempt) {
            const auto realTime = taps(false);
            equal = realTime == offline;
            for (const auto& pin : c.pins) {
                EXPECT_FALSE(realTime.at(pin).empty()) << narrowPath(pin) << " sent nothing";
                EXPECT_TRUE(offline.at(pin).starts_with(realTime.at(pin)))
                    << narrowPath(pin) << ": " << offline.at(pin).size() << " bytes offline, " << realTime.at(pin).size()
                    << " in real time, not where the offline ones begin";
            }
        }
        EXPECT_TRUE(equal) << "real time never sent what offline sends";
    }
}

TEST_F(VentoExample, ListShowsTheBlockStreamModulesAndTheMultipliersMultiInput)
{
    Result r = vento(L"list");
    ASSERT_EQ(0u, r.code) << r.err;
    for (const char* line : {"Stream ", "Overlap ", "Multiplier "})
        EXPECT_NE(std::string::npos, r.out.find(std::string("\n") + line)) << line << "missing in\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find("in:Default(128,multi) out:Default(128) out:Diagnostic(10)")) << r.out;
}

// Each new module's panel in the host's frame, as a person uses it: one choice, then OK saves it.
TEST_F(VentoExample, EachPanelChangesItsModuleThroughTheFrame)
{
    auto choose = [](int list, int entry) {
        return [=](HWND frame) {
            HWND page = pageHolding(frame, list);
            HWND combo = page ? GetDlgItem(page, list) : nullptr;
            if (combo) {
                SendMessageW(combo, CB_SETCURSEL, WPARAM(entry), 0);
                SendMessageW(page, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), LPARAM(combo));
            }
            press(frame, IDOK);
        };
    };
    auto arrowDown = [](HWND frame) {
        const int spinner = 204;
        HWND page = pageHolding(frame, spinner);
        HWND arrows = page ? GetDlgItem(page, spinner) : nullptr;
        RECT r{};
        if (arrows) GetClientRect(arrows, &r);
        const LPARAM lower = MAKELPARAM(r.right / 2, r.bottom * 3 / 4);
        for (int click = 0; arrows && click < 3; ++click) {
            SendMessageW(arrows, WM_LBUTTONDOWN, MK_LBUTTON, lower);
            SendMessageW(arrows, WM_LBUTTONUP, 0, lower);
        }
        press(frame, IDOK);
    };
    const struct {
        std::wstring graph, instance;
        std::function<void(HWND)> act;
        std::string setting;
        double value;
    } cases[] = {
        {L"resample", L"stream", choose(208, 1), "Out Frequency", 16000},
        {L"ring-modulator", L"ring", choose(208, 2), "Frequency", 22050},
        {L"overlapped-spectrum", L"overlap", arrowDown, "Overlap", 61},
        {L"resample", L"stream", choose(202, 3), "Out Blocksize", 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        fs::path graph = example(c.graph);
        Result r = vento(L"panel " + wide(graph) + L" " + c.instance + L" --offline", c.act);
        ASSERT_EQ(0u, r.code) << r.err;
        std::string saved = contents(graph);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(saved, m, std::regex("name=\"" + c.setting + "\" value=\"([^\"]*)\""))) << saved;
        EXPECT_EQ(c.value, std::stod(m[1].str())) << saved;
    }
}

// --- launch, inspect, dot: graphs on one line, modules in full, pictures of graphs ---------------

const wchar_t demoLine[] =
    L"\"SignalW name=tone Amp=0.8 Shape=4 SampleRate=11025 BlockSize=128 ! FFT name=fft"
    L" ! Filter name=band 'High Cut'=30 'Low Cut'=10 Ramp=2 ! iFFT name=ifft ! GraphWindow name=scope"
    L" ! WAV name=file FileName=filtered.wav Record=1\"";
const wchar_t ringModulatorLine[] =
    L"\"SignalW name=carrier Amp=0.9 Freq=0.5699029 Shape=0 SampleRate=11025 BlockSize=128 ! ring."
    L"  SignalW name=modulator Amp=0.9 Freq=0.07123787 Shape=0 SampleRate=11025 BlockSize=256 ! ring."
    L"  Multiplier name=ring Frequency=11025 Blocksize=128 ! GraphWindow name=scope\"";

// Each example, saved by vento, equals the file its one-line twin saves: the same modules, settings,
// panel values and connections, in the same order.
TEST_F(VentoExample, LaunchSavesWhatTheExampleGraphFilesSave)
{
    const struct {
        const wchar_t* example;
        const wchar_t* line;
    } cases[] = {{L"demo", demoLine}, {L"ring-modulator", ringModulatorLine}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.example, c.example + std::wcslen(c.example)));
        const fs::path graph = example(c.example), launched = dir / L"launched.xml";
        Result r = vento(L"save " + wide(graph));
        ASSERT_EQ(0u, r.code) << r.err;
        r = vento(std::wstring(L"launch ") + c.line + L" --save " + wide(launched));
        ASSERT_EQ(0u, r.code) << r.err;
        EXPECT_EQ("saved " + std::string(launched.string()) + "\r\n", r.out);
        // The example keeps its comment; a line has none to keep.
        EXPECT_EQ(std::regex_replace(contents(graph), std::regex("<!--[\\s\\S]*?-->\n"), ""), contents(launched));
    }
}

// The same run from the file and from the line: the same blocks, by every run option given.
TEST_F(Vento, LaunchRunsWithTheRunOptionsAsItsGraphFileRuns)
{
    const std::wstring options = L" --offline --blocks 20 -q --chart band.Default=";
    Result fromFile = vento(L"run " + wide(demo()) + options + wide(dir / L"file.csv") + L" --tap ifft.Default=" + wide(dir / L"file.raw"));
    ASSERT_EQ(0u, fromFile.code) << fromFile.err;
    Result fromLine = vento(std::wstring(L"launch ") + demoLine + options + wide(dir / L"line.csv") + L" --tap ifft.Default=" +
                            wide(dir / L"line.raw"));
    ASSERT_EQ(0u, fromLine.code) << fromLine.err;
    EXPECT_EQ("", fromLine.out) << "-q";
    EXPECT_EQ(20u * 128u, readFloats(dir / L"line.raw").size());
    EXPECT_EQ(contents(dir / L"file.raw"), contents(dir / L"line.raw"));
    EXPECT_EQ(contents(dir / L"file.csv"), contents(dir / L"line.csv"));

    // Several words make one description; the numbered names are the ones to tap.
    Result words = vento(L"launch SignalW Shape=1 ! FFT ! GraphWindow --offline --seconds 0.5 --tap FFT1.Default=" + wide(dir / L"w.raw"));
    ASSERT_EQ(0u, words.code) << words.err;
    EXPECT_NE(std::string::npos, words.out.find("SignalW1")) << words.out;
    EXPECT_EQ(0u, readFloats(dir / L"w.raw").size() % 130) << "whole spectra of 128 samples";
    EXPECT_GT(readFloats(dir / L"w.raw").size(), 0u);
}

TEST_F(Vento, EveryBadLaunchDescriptionIsOneLineNamingThePlace)
{
    const struct {
        const wchar_t* line;
        const char* message;
    } cases[] = {
        {L"\"SignalW Shap=4\"", "launch: at 9 'Shap=4': SignalW has no setting or panel label 'Shap' (settings: Amp, Freq,"},
        {L"\"SignalW ! FFTX\"", "launch: at 11 'FFTX': no module type 'FFTX' in the catalogue (BMP, "},
        {L"\"SignalW Amp=loud\"", "launch: at 9 'Amp=loud': setting 'Amp' takes a number, not 'loud'"},
        {L"\"! FFT\"", "launch: at 1 '!': '!' needs a module or a pin before it"},
        {L"\"SignalW ! ! FFT\"", "launch: at 11 '!': '!' needs a module or a pin before it"},
        {L"\"SignalW !\"", "launch: at 9 '!': '!' links to nothing after it"},
        {L"\"Amp=1 SignalW\"", "launch: at 1 'Amp=1': a setting goes after the module it belongs to"},
        {L"\"Filter 'High Cut=30\"", "launch: at 8 ''High Cut=30': the quote is not closed"},
        {L"\"Filter 'High Cut'=9999\"", "launch: at 8 ''High Cut'=9999': 'High Cut' is a trackbar: give a whole position from 0 to 5512"},
        {L"\"SignalW Shape=4 ! m.\"", "launch: at 19 'm.': no instance is named 'm'"},
        {L"\"SignalW ! a.Foo  FFT name=a\"", "launch: at 11 'a.Foo': 'a' has no input pin 'Foo' (Default)"},
        {L"\"SignalW ! Spectrum\"", "launch: at 11 'Spectrum': 'Spectrum1' has several input pins (Frequency, Signal): write Spectrum1.PIN"},
        {L"\"SignalW name=a ! FFT name=a\"", "launch: at 22 'name=a': an instance is named 'a' already"},
        {L"\"SignalW ! WAV Record=2\"", "launch: at 15 'Record=2': 'Record' is a button: press it with =1"},
        {L"\"SignalW 'Sample Rate'=9\"", "launch: at 9 ''Sample Rate'=9': 'Sample Rate' is a list: give one of its entries (0: 11.025"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.line, c.line + std::wcslen(c.line)));
        Result r = vento(std::wstring(L"launch ") + c.line + L" --offline --blocks 1 -q");
        EXPECT_EQ(1u, r.code);
        EXPECT_EQ(0u, r.err.find(std::string("vento: ") + c.message)) << r.err;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    }
    Result usage = vento(L"launch --offline");
    EXPECT_EQ(2u, usage.code);
    EXPECT_EQ(0u, usage.err.find("vento: launch: which graph?")) << usage.err;
    usage = vento(L"launch SignalW --save");
    EXPECT_EQ(2u, usage.code);
    EXPECT_EQ("vento: --save needs a value\r\n", usage.err);
}

// A panel control named by its label: the graph runs as with the id, and saving keeps the label. A
// label is read when its control is reached: the FIR's low slider is called "Low" only once the
// band pass is chosen.
TEST_F(Vento, GraphFilesNameControlsByLabelAndSavingKeepsTheLabel)
{
    auto graph = [&](const std::wstring& name, const char* first, const char* second) {
        return write(name, std::string(R"(<graph>
  <module name="tone" type="SignalW"><float name="Shape" value="4"/></module>
  <module name="fft" type="FFT"/>
  <module name="band" type="Filter"><panel>)") + first + second + R"(</panel></module>
  <module name="ifft" type="iFFT"/>
  <connect from="tone.Default" to="fft.Default"/>
  <connect from="fft.Default" to="band.Default"/>
  <connect from="band.Default" to="ifft.Default"/>
</graph>)");
    };
    const fs::path byLabel = graph(L"label.xml", R"(<control label="High Cut" position="30"/>)", R"(<control label="low cut" position="10"/>)");
    const fs::path byId = graph(L"id.xml", R"(<control id="5003" position="30"/>)", R"(<control id="5001" position="10"/>)");
    for (const fs::path& g : {byLabel, byId}) {
        Result r = vento(L"run " + wide(g) + L" --offline --blocks 10 -q --tap ifft.Default=" + wide(g.stem().wstring() + L".raw"));
        ASSERT_EQ(0u, r.code) << r.err;
    }
    EXPECT_EQ(10u * 128u, readFloats(L"label.raw").size());
    EXPECT_EQ(contents(L"id.raw"), contents(L"label.raw"));
    DeleteFileW(L"label.raw");
    DeleteFileW(L"id.raw");

    ASSERT_EQ(0u, vento(L"save " + wide(byLabel)).code);
    const std::string saved = contents(byLabel);
    EXPECT_NE(std::string::npos, saved.find(R"(<control label="High Cut" position="30"/>)")) << saved;
    EXPECT_NE(std::string::npos, saved.find(R"(<control label="low cut" position="10"/>)")) << saved;

    const fs::path fir = write(L"fir.xml", R"(<graph>
  <module name="tone" type="SignalW"/>
  <module name="fir" type="FIR"><float name="Type" value="1"/><panel>
    <control label="Filter type" select="2"/><control label="Low" position="10"/>
  </panel></module>
  <connect from="tone.Default" to="fir.Default"/>
</graph>)");
    Result r = vento(L"save " + wide(fir));
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_NE(std::string::npos, contents(fir).find(R"(name="Type" value="3")")) << contents(fir);

    const fs::path bad = write(L"bad.xml", R"(<graph><module name="band" type="Filter"><panel><control label="Nope" position="1"/></panel></module></graph>)");
    r = vento(L"save " + wide(bad));
    EXPECT_EQ(1u, r.code);
    EXPECT_EQ("vento: bad.xml: band: panel: control 'Nope': the panel has no control of that label\r\n", r.err);
}

// Every registered module, read from itself.
TEST_F(Vento, InspectShowsEveryModulesPinsSettingsAndControls)
{
    Result names = vento(L"list --names");
    ASSERT_EQ(0u, names.code) << names.err;
    std::vector<std::string> types;
    std::istringstream lines(names.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line.back() == '\r') line.pop_back(), types.push_back(line);
    EXPECT_EQ(17u, types.size()) << names.out;
    // Each control the description shows has its row in the graph-file documentation, under its
    // module's heading: a graph file can be written without reading the source.
    const std::string doc = contents(fs::path(VENTO_EXAMPLES).parent_path() / L"docs" / L"graph-files.md");
    for (const std::string& type : types) {
        SCOPED_TRACE(type);
        Result r = vento(L"inspect " + std::wstring(type.begin(), type.end()));
        ASSERT_EQ(0u, r.code) << r.err;
        EXPECT_EQ(0u, r.out.find(type + ": ")) << r.out;
        for (const char* part : {"\r\npins (", "\r\nsettings (", "\r\npanel controls (", "ModuleHelp.htm\r\n"})
            EXPECT_NE(std::string::npos, r.out.find(part)) << part << " missing in\n" << r.out;
        const size_t at = doc.find("\n### " + type + " (`");
        ASSERT_NE(std::string::npos, at) << "no section in docs/graph-files.md";
        const std::string section = doc.substr(at, doc.find("\n### ", at + 1) - at);
        std::istringstream shown(r.out.substr(r.out.find("\r\npanel controls (") + 2));
        std::string line;
        std::getline(shown, line); // the heading
        while (std::getline(shown, line) && line.size() > 2) {
            const std::string id = line.substr(2, line.find(' ', 2) - 2);
            if (id == "none\r") continue;
            EXPECT_NE(std::string::npos, section.find("\n| " + id + " |")) << "control " << id << " is not documented";
        }
    }
    const struct {
        const wchar_t* type;
        std::vector<std::string> shown;
    } cases[] = {
        {L"SignalW",
         {"  in   Frequency           1  one connection", "  out  Default           128", "  Amp            number  0.5",
          "  BlockSize      number  128", "  202   trackbar  \"Amplitude\"              0..100 (at 50)", "  204   list      \"Block Size\"             0: 128, 1: 256",
          "  203   check box \"Sync to block size\""}},
        {L"Filter", {"  5003  trackbar  \"High Cut\"", "  5005  trackbar  \"Ramp\"", "settings (type and default, as its SaveSettings writes them):\r\n  none\r\n"}},
        {L"Multiplier", {"any number of connections"}},
        {L"WAV", {"  FileName       text    \"", "\"Record\""}},
        {L"FFT", {"panel controls (id, kind, label, range or entries):\r\n  none\r\n"}},
    };
    for (const auto& c : cases) {
        Result r = vento(std::wstring(L"inspect ") + c.type);
        ASSERT_EQ(0u, r.code) << r.err;
        for (const std::string& shown : c.shown) EXPECT_NE(std::string::npos, r.out.find(shown)) << shown << " missing in\n" << r.out;
    }
    Result unknown = vento(L"inspect Nothing");
    EXPECT_EQ(1u, unknown.code);
    EXPECT_EQ(0u, unknown.err.find("vento: inspect: no module type 'Nothing' in the catalogue (BMP, ")) << unknown.err;
}

// Every module of each example is a node with its type, every connection an edge with its pins. The
// files stay beside the test program, where Graphviz reads them back next (vento_dot_svg).
TEST_F(Vento, DotDrawsEveryModuleAndConnectionOfTheGraph)
{
    const fs::path folder = emptyFolderBesideProgram(L"vento_dot");
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(fs::path(VENTO_EXAMPLES))) {
        if (entry.path().extension() != L".xml") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string graph = contents(entry.path());
        const fs::path out = folder / entry.path().filename().replace_extension(L".dot");
        Result r = vento(L"dot " + wide(entry.path()) + L" -o " + wide(out));
        ASSERT_EQ(0u, r.code) << r.err;
        const std::string dot = contents(out);
        EXPECT_EQ(0u, dot.find("digraph \"" + entry.path().stem().string() + "\" {\n")) << dot;
        std::smatch m;
        for (auto at = graph.cbegin(); std::regex_search(at, graph.cend(), m, std::regex(R"re(<module name="([^"]+)" type="([^"]+)")re"));
             at = m[0].second)
            EXPECT_NE(std::string::npos, dot.find("  \"" + m[1].str() + "\" [label=\"" + m[1].str() + "\\n" + m[2].str())) << m[0] << "\n" << dot;
        for (auto at = graph.cbegin();
             std::regex_search(at, graph.cend(), m, std::regex(R"re(<connect from="([^".]+)\.([^"]+)" to="([^".]+)\.([^"]+)")re"));
             at = m[0].second)
            EXPECT_NE(std::string::npos, dot.find("  \"" + m[1].str() + "\" -> \"" + m[3].str() + "\" [label=\"" + m[2].str() +
                                                  " \xe2\x86\x92 " + m[4].str() + "\"];"))
                << m[0] << "\n" << dot;
    }
    Result r = vento(L"dot " + wide(fs::path(VENTO_EXAMPLES) / L"demo.xml") + L" -o -");
    ASSERT_EQ(0u, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("  \"band\" [label=\"band\\nFilter\\n#5003 at 30\\n#5001 at 10\\n#5005 at 2\"];")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("Amp = 0.8")) << r.out;
}

} // namespace
