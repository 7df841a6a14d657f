// vento end to end: register, list, run the demo offline with a tap checked numerically, save, and
// one clear line for every kind of bad graph file. The test registers the servers itself and
// unregisters them at the end, leaving the registry as it found it.
#include <windows.h>
#include <gtest/gtest.h>
#include <cmath>
#include <algorithm>
#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    DWORD code = 0;
    std::string out, err;
};

std::string readAll(HANDLE pipe)
{
    std::string text;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    return text;
}

// Runs vento.exe with the arguments and collects what it printed.
Result vento(const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = L"\"" + std::wstring(VENTO_EXE) + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    Result result;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        result.code = 9999;
        CloseHandle(outWrite);
        CloseHandle(errWrite);
    } else {
        CloseHandle(outWrite);
        CloseHandle(errWrite);
        // stdout to its end, then stderr: vento's error output is a line or two, well inside a pipe.
        result.out = readAll(outRead);
        result.err = readAll(errRead);
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &result.code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

std::wstring wide(const fs::path& p) { return L"\"" + p.wstring() + L"\""; }

class Vento : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Result r = vento(L"register");
        ASSERT_EQ(0u, r.code) << r.err;
    }
    static void TearDownTestSuite()
    {
        Result r = vento(L"unregister");
        EXPECT_EQ(0u, r.code) << r.err;
    }
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
    fs::path dir;
};

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
    for (const char* name : {"FFT ", "iFFT ", "Magnitude ", "Filter ", "Convolution ", "SignalW ", "GraphWindow "})
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
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        fs::path graph = write(L"bad.xml", c.text);
        // Quiet: on a slow machine the stalled run outlasts a second and would print progress too.
        Result r = vento(L"run " + wide(graph) + L" --offline --blocks 1 -q");
        EXPECT_EQ(1u, r.code);
        EXPECT_EQ(0u, r.err.find(std::string("vento: ") + c.message)) << r.err;
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

} // namespace
