// Graph files as descriptions, read and written with no engine and no registered server.
#include <gtest/gtest.h>
#include <filesystem>
#include <string>
#include "host/engine/apartment.h"
#include "host/graph/graph_file.h"
#include "temp_folder.h"

namespace vento::test {
namespace {

namespace fs = std::filesystem;

class GraphFileTest : public testing::Test {
protected:
    fs::path write(const std::string& text, const wchar_t* name = L"g.xml") { return dir.write(name, text); }
    // The message readGraphFile throws, or "" when it reads the file.
    std::string readError(const fs::path& file)
    {
        try {
            readGraphFile(file);
        } catch (const EngineError& e) {
            return e.what();
        }
        return "";
    }

    ComApartment apartment;
    TempFolder dir;
};

using Action = PanelControl::Action;

// Types need not be registered: whether they exist is for building to say.
TEST_F(GraphFileTest, ReadsModulesSettingsPanelsAndConnectionsInFileOrder)
{
    const Graph graph = readGraphFile(write(R"(<?xml version="1.0"?>
<graph>
  <!-- comments and white space are not elements -->
  <module name="my.tone" type="NoSuchType">
    <string name="File" value="a &lt;b&gt; &amp; c.wav"/>
    <float name="Amp" value="0.25"/>
    <float name="Shape" value="-1e-3"/>
    <panel>
      <control id="5003" position="30"/>
      <control id="204" select="2"/>
      <control id="203" click="1"/>
    </panel>
  </module>
  <connect from="my.tone.Default" to="sink.In"/>
  <module name="sink" type="Other"/>
</graph>)"));

    Graph expected;
    expected.modules = {
        {L"my.tone", L"NoSuchType",
         {{L"File", std::wstring(L"a <b> & c.wav")}, {L"Amp", 0.25f}, {L"Shape", -1e-3f}},
         {{5003, Action::Position, 30}, {204, Action::Select, 2}, {203, Action::Click, 1}}},
        {L"sink", L"Other", {}, {}},
    };
    expected.connections = {{L"my.tone", L"Default", L"sink", L"In"}}; // split at the last point
    EXPECT_EQ(expected, graph);
}

TEST_F(GraphFileTest, EveryFaultOfTheFileItselfIsOneLineNamingThePlace)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"<graph><module type=\"FFT\"/></graph>", "g.xml: a module has no name"},
        {"<graph><module name=\"a\"/></graph>", "g.xml: module 'a' has no type"},
        {"<graph><module name=\"a\" type=\"FFT\"/><module name=\"a\" type=\"X\"/></graph>", "g.xml: duplicate module name 'a'"},
        {"<graph><module name=\"a\" type=\"FFT\"/><wire/></graph>", "g.xml: unknown element 'wire'"},
        {"<graph><module name=\"a\" type=\"T\"><int name=\"N\" value=\"1\"/></module></graph>",
         "g.xml: module 'a': unknown element 'int'"},
        {"<graph><module name=\"a\" type=\"T\"><float value=\"1\"/></module></graph>", "g.xml: module 'a': a setting has no name"},
        {"<graph><module name=\"a\" type=\"T\"><string name=\"F\"/></module></graph>",
         "g.xml: module 'a': setting 'F' has no value"},
        {"<graph><module name=\"a\" type=\"T\"><float name=\"G\" value=\"1e99\"/></module></graph>",
         "g.xml: module 'a': setting 'G': unparsable number '1e99'"},
        {"<graph><module name=\"a\" type=\"T\"><panel><slider id=\"1\"/></panel></module></graph>",
         "g.xml: module 'a': unknown panel element 'slider'"},
        {"<graph><module name=\"a\" type=\"T\"><panel><control id=\"x1\" click=\"1\"/></panel></module></graph>",
         "g.xml: module 'a': panel control id 'x1' is not a number"},
        {"<graph><module name=\"a\" type=\"T\"><panel><control id=\"7\"/></panel></module></graph>",
         "g.xml: module 'a': panel control 7 has no position, select or click"},
        {"<graph><module name=\"a\" type=\"T\"><panel><control id=\"7\" select=\"two\"/></panel></module></graph>",
         "g.xml: module 'a': panel control 7: unparsable number 'two'"},
        {"<graph><connect from=\"a\" to=\"b.Default\"/></graph>", "g.xml: connect 'a' -> 'b.Default': write both ends as instance.pin"},
        {"<graph><connect from=\"a.Default\" to=\"b.\"/></graph>", "g.xml: connect 'a.Default' -> 'b.': write both ends as instance.pin"},
        // Modules are read before connections, wherever the connection stands.
        {"<graph><connect to=\"b.Default\"/><module name=\"a\"/></graph>", "g.xml: module 'a' has no type"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.message, readError(write(c.text)));
    }
    EXPECT_EQ("none.xml: no such file", readError(dir / L"none.xml"));
    fs::create_directories(dir / L"sub");
    EXPECT_EQ("sub: no such file", readError(dir / L"sub")) << "a folder is no graph file";
}

TEST_F(GraphFileTest, WrittenFileReadsBackAsTheSameDescription)
{
    Graph graph;
    graph.modules = {
        // Floats that need all nine digits, a subnormal one (its text reads as an underflow), and
        // text that XML must escape.
        {L"tone", L"SignalW", {{L"Amp", 0.1f}, {L"Tiny", 1.17549435e-38f}, {L"Subnormal", 1.40129846e-45f}, {L"Big", 16777216.0f},
                               {L"File", std::wstring(L"\"<a & b>\".wav")}},
         {{5003, Action::Position, -4}, {204, Action::Select, 0}, {203, Action::Click, 1}}},
        {L"fft", L"FFT", {}, {}},
    };
    graph.connections = {{L"tone", L"Default", L"fft", L"Default"}};
    const fs::path file = dir / L"g.xml";
    write("<graph/>"); // an old file is replaced
    writeGraphFile(graph, file);
    EXPECT_EQ(graph, readGraphFile(file));
    EXPECT_FALSE(fs::exists(dir / L"g.xml.saving"));

    const std::string text = TempFolder::contents(file);
    EXPECT_NE(std::string::npos, text.find("\n  <module name=\"tone\" type=\"SignalW\">\n    <float name=\"Amp\" value=\"0.1\"/>"))
        << "one element a line, two spaces a level, numbers as short as read back the same:\n" << text;
    EXPECT_NE(std::string::npos, text.find("\n  <module name=\"fft\" type=\"FFT\"/>\n")) << "nothing inside: one element\n" << text;
}

// Saving over a file changes what differs and nothing else.
TEST_F(GraphFileTest, UpdatingAFileKeepsWhatItsAuthorWrote)
{
    // What both versions of the file begin with.
    const std::string head = R"(<?xml version="1.0"?>
<!-- A person's graph: this comment stays. -->
<graph>
  <module name="tone" type="SignalW">
    <float name="Amp" value="0.8"/>   <!-- loud -->
)";
    const std::string original = head + R"(    <float name="Gone" value="1"/>
    <panel><control label="High Cut" position="30"/><control id="203" click="1"/></panel>
  </module>
  <module name="fft" type="FFT"/>
  <module name="old" type="FFT"/>
  <connect from="tone.Default" to="fft.Default"/>
  <connect from="fft.Default" to="old.Default"/>
</graph>
)";
    const fs::path file = write(original);
    Graph graph = readGraphFile(file);
    updateGraphFile(graph, file);
    EXPECT_EQ(original, TempFolder::contents(file)) << "the same description: the same bytes";

    // One value changed, one setting gone and one new, a panel value moved, a module and its
    // connection gone, a module and a connection new.
    graph.modules[0].settings = {{L"Amp", 0.8f}, {L"Shape", 4.0f}};
    graph.modules[0].panel[0].value = 45;
    graph.modules.erase(graph.modules.begin() + 2);
    graph.modules.push_back({L"sink", L"iFFT", {}, {{5001, Action::Position, 3}}});
    graph.connections = {{L"tone", L"Default", L"fft", L"Default"}, {L"fft", L"Default", L"sink", L"Default"}};
    updateGraphFile(graph, file);
    EXPECT_EQ(graph, readGraphFile(file));
    EXPECT_EQ(head + R"(    <float name="Shape" value="4"/>
    <panel><control label="High Cut" position="45"/><control id="203" click="1"/></panel>
  </module>
  <module name="fft" type="FFT"/>
  <module name="sink" type="iFFT">
    <panel>
      <control id="5001" position="3"/>
    </panel>
  </module>
  <connect from="tone.Default" to="fft.Default"/>
  <connect from="fft.Default" to="sink.Default"/>
</graph>
)", TempFolder::contents(file));

    // A file vento wrote saves byte for byte the same.
    const fs::path written = dir / L"written.xml";
    writeGraphFile(graph, written);
    const std::string first = TempFolder::contents(written);
    updateGraphFile(readGraphFile(written), written);
    EXPECT_EQ(first, TempFolder::contents(written));
    // No file yet: written afresh.
    const fs::path fresh = dir / L"fresh.xml";
    updateGraphFile(graph, fresh);
    EXPECT_EQ(first, TempFolder::contents(fresh));
}

TEST_F(GraphFileTest, AFailedWriteNamesTheFileAndLeavesNoHalfFile)
{
    Graph graph;
    graph.modules = {{L"a", L"FFT", {}, {}}};
    try {
        writeGraphFile(graph, dir / L"missing" / L"g.xml");
        ADD_FAILURE() << "wrote into a folder that is not there";
    } catch (const EngineError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("g.xml: cannot write ")) << e.what();
    }

    // The new file is complete but cannot take the old one's place: the reason is the move's.
    fs::create_directories(dir / L"taken.xml" / L"inside");
    try {
        writeGraphFile(graph, dir / L"taken.xml");
        ADD_FAILURE() << "replaced a folder";
    } catch (const EngineError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("taken.xml: cannot replace the file (error ")) << e.what();
        EXPECT_EQ(std::string::npos, std::string(e.what()).find("(error 0)")) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir / L"taken.xml.saving"));
    EXPECT_TRUE(fs::exists(dir / L"taken.xml" / L"inside"));
}

} // namespace
} // namespace vento::test
