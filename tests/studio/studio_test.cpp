// The studio's edits on the real servers: each operation changes the engine and the record together,
// undo brings both back exactly and redo forward again, a request is all or nothing, and the
// problems a graph has are named. The servers are registered by this build's vento.exe first (the
// studio creates modules through the catalogue).
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include "host/engine/apartment.h"
#include "host/engine/server_library.h"
#include "host/studio/studio.h"

namespace fs = std::filesystem;
using namespace vento::studio;

namespace {

struct Recorded final : EventSink {
    void publish(const std::string& event, const std::string&) override
    {
        std::lock_guard hold(mutex);
        seen.push_back(event);
    }
    std::mutex mutex;
    std::vector<std::string> seen;
};

// What the engine holds, as a comparable picture: instances with what they save and their panel
// controls' positions, and connections (in any order: a module made again comes last).
std::string engineState(Studio& studio)
{
    std::vector<std::string> lines;
    for (const auto& instance : studio.engine().instances()) {
        std::string state = vento::narrow(instance->name) + "(" + vento::narrow(instance->core->moduleName()) + "):";
        const vento::ModuleDescription d = vento::describeInstance(*instance);
        for (const auto& s : d.settings)
            state += " " + vento::narrow(s.name) + "=" +
                     (std::holds_alternative<float>(s.value) ? std::to_string(std::get<float>(s.value)) : vento::narrow(std::get<std::wstring>(s.value)));
        for (const auto& c : d.panel.controls) state += " #" + std::to_string(c.id) + "=" + std::to_string(c.position);
        for (const auto& [pin, in] : instance->core->inputs())
            for (const auto& slot : in.slots)
                if (slot->sourceCore) state += " <" + vento::narrow(slot->sourceCore->instanceName()) + "." + vento::narrow(pin);
        lines.push_back(state);
    }
    std::sort(lines.begin(), lines.end());
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
}

class StudioTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::wstring line = L"\"" + std::wstring(VENTO_EXE) + L"\" register -q";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
        WaitForSingleObject(process.hProcess, 120000);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        ASSERT_EQ(0u, code) << "vento register";
    }
    void SetUp() override
    {
        const fs::path demo = fs::temp_directory_path() / ("studio_test_" + std::to_string(GetCurrentProcessId()) + ".xml");
        fs::copy_file(fs::path(VENTO_EXAMPLES) / L"demo.xml", demo, fs::copy_options::overwrite_existing);
        studio = std::make_unique<Studio>(events, demo);
        file = demo;
    }
    void TearDown() override
    {
        studio.reset();
        std::error_code ignored;
        fs::remove(file, ignored);
    }
    Response edit(std::vector<Op> ops) { return studio->edit(ops); }

    vento::ComApartment apartment;
    Recorded events;
    std::unique_ptr<Studio> studio;
    fs::path file;
};

TEST_F(StudioTest, EveryOperationUndoesAndRedoesExactly)
{
    const struct {
        const char* what;
        Op op;
    } rows[] = {
        {"add", AddOp{"Magnitude", "mag", 5, 6}},
        {"remove", RemoveOp{"band"}},
        {"rename", RenameOp{"band", "filter"}},
        {"move", MoveOp{"fft", 300, 40}},
        {"connect", ConnectOp{{"fft", "Default"}, {"scope", "Default"}}},
        {"disconnect", DisconnectOp{{"band", "Default"}, {"ifft", "Default"}}},
        {"set", SetOp{"tone", "Amp", 0.25}},
        {"set text", SetOp{"file", "FileName", std::string("other.wav")}},
        {"control: trackbar by label", ControlOp{"band", std::nullopt, "High Cut", 45.0}},
        {"control: list by text", ControlOp{"tone", std::nullopt, "Block Size", std::string("512")}},
        {"control: check box", ControlOp{"scope", 202, "", 0.0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (std::holds_alternative<ConnectOp>(row.op)) { // scope's input is taken: free it first
            ASSERT_EQ(200, edit({DisconnectOp{{"ifft", "Default"}, {"scope", "Default"}}}).status);
        }
        const Record before = studio->record();
        const std::string engineBefore = engineState(*studio);
        const long long revision = studio->revision();
        const Response done = edit({row.op});
        ASSERT_EQ(200, done.status) << done.body;
        EXPECT_EQ(revision + 1, studio->revision());
        EXPECT_FALSE(studio->record() == before) << "the edit shows in the record";
        const Record after = studio->record();
        const std::string engineAfter = engineState(*studio);
        ASSERT_EQ(200, studio->undo().status);
        EXPECT_TRUE(studio->record() == before);
        EXPECT_EQ(engineBefore, engineState(*studio)) << "undo brings the engine back";
        ASSERT_EQ(200, studio->redo().status);
        EXPECT_TRUE(studio->record() == after);
        EXPECT_EQ(engineAfter, engineState(*studio)) << "redo makes it again";
        ASSERT_EQ(200, studio->undo().status);
    }
}

TEST_F(StudioTest, ARequestIsAllOrNothing)
{
    const Record before = studio->record();
    const std::string engineBefore = engineState(*studio);
    const Response refused = edit({AddOp{"FFT", "fft2", 0, 0}, SetOp{"tone", "Amp", 0.1}, ControlOp{"band", 5003, "", 50.0},
                                   ConnectOp{{"tone", "Default"}, {"fft", "Default"}}}); // fft has its source
    EXPECT_EQ(422, refused.status);
    EXPECT_NE(std::string::npos, refused.body.find("takes one connection")) << refused.body;
    EXPECT_TRUE(studio->record() == before);
    EXPECT_EQ(engineBefore, engineState(*studio)) << "nothing of the request stays";
    EXPECT_EQ(0, studio->revision());
}

TEST_F(StudioTest, ProblemsNameTheirModules)
{
    ASSERT_EQ(200, edit({AddOp{"FFT", "lonely", 0, 0}, SetOp{"tone", "BlockSize", -5.0}}).status);
    ASSERT_EQ(200, edit({AddOp{"WAV", "player", 0, 0}, SetOp{"player", "FileName", std::string("Z:\\no\\such.wav")}}).status);
    ASSERT_EQ(200, edit({AddOp{"FFT", "a", 0, 0}, AddOp{"iFFT", "b", 0, 0}, ConnectOp{{"a", "Default"}, {"b", "Default"}},
                         ConnectOp{{"b", "Default"}, {"a", "Default"}}})
                       .status);
    const std::string graph = studio->handle({"GET", "/api/graph", {}, ""}).body;
    for (const char* problem : {"lonely: input 'Default' is fed by nothing", "tone: setting 'BlockSize' = -5 was refused; it keeps 128",
                                "player: cannot open 'Z:\\\\no\\\\such.wav' (no such file)", "the connections form a cycle through a, b"})
        EXPECT_NE(std::string::npos, graph.find(problem)) << problem << " missing in " << graph;
    EXPECT_EQ(std::string::npos, graph.find("tone: input 'Frequency'")) << "an input a module works without is no problem";
}

// The editor's files come from the folder "studio" beside the program, with their types; nothing
// outside it is reached; without the folder, "/" says how to build the editor.
TEST_F(StudioTest, TheEditorIsServedFromBesideTheProgram)
{
    const fs::path folder = vento::programFolder() / L"studio";
    fs::remove_all(folder);
    auto get = [&](const char* target) { return studio->handle({"GET", target, {}, ""}); };
    const Response missing = get("/");
    EXPECT_EQ(200, missing.status);
    EXPECT_NE(std::string::npos, missing.body.find("scripts/setup.sh")) << missing.body;
    EXPECT_EQ(404, get("/assets/index-1.js").status);

    fs::create_directories(folder / L"assets");
    std::ofstream(folder / L"index.html") << "<!doctype html><title>editor</title>";
    std::ofstream(folder / L"assets" / L"index-1.js") << "export {};";
    std::ofstream(vento::programFolder() / L"secret.txt") << "not the editor's";
    const Response page = get("/"), script = get("/assets/index-1.js");
    EXPECT_EQ("<!doctype html><title>editor</title>", page.body);
    EXPECT_EQ("text/html; charset=utf-8", page.contentType);
    EXPECT_EQ("export {};", script.body);
    EXPECT_EQ("text/javascript; charset=utf-8", script.contentType);
    for (const char* outside : {"/assets/../../secret.txt", "/assets/..\\..\\secret.txt", "/assets/%2e%2e/secret.txt", "/assets/C:/secret.txt"})
        EXPECT_EQ(404, get(outside).status) << outside;
    fs::remove_all(folder);
    fs::remove(vento::programFolder() / L"secret.txt");
}

} // namespace
