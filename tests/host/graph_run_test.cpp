// The pieces of a run that stand alone: the names of the windows' pictures and tap files.
#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "host/run/graph_run.h"
#include "temp_folder.h"

namespace vento::test {
namespace {

namespace fs = std::filesystem;

TEST(SnapshotNames, AreSafeFileNamesAndNeverTheSameTwice)
{
    SnapshotNames names;
    const struct {
        const wchar_t* given;
        const wchar_t* name;
    } cases[] = {
        {L"scope", L"scope"},
        {L"scope", L"scope_2"},
        {L"Scope", L"Scope_3"}, // one file to the file system
        {L"scope_2", L"scope_2_2"},
        {L"Graph: tone/fft", L"Graph__tone_fft"},
        {L"..\\..\\evil", L"window.._.._evil"},
        {L".hidden", L"window.hidden"},
        {L"", L"window"},
        {L"", L"window_2"},
        {L"r-1.5", L"r-1.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "given \"" << fs::path(c.given).string() << "\"");
        EXPECT_EQ(c.name, names.next(c.given));
    }
}

std::vector<float> floatsIn(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> values(bytes.size() / sizeof(float));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
    return values;
}

TEST(TapFile, KeepsEveryBlockExactlyAsRawFloatsOrCsvLines)
{
    const TempFolder dir;
    const std::vector<float> first{1.0f, -2.5f, 0.1f}, second{3.40282347e38f, -1.17549435e-38f};
    {
        TapFile raw(dir / L"t.raw"), csv(dir / L"t.csv");
        for (TapFile* tap : {&raw, &csv}) {
            tap->write(first);
            tap->write({});
            tap->write(second);
            tap->close();
        }
    }
    std::vector<float> all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(all, floatsIn(dir / L"t.raw"));

    std::istringstream lines(TempFolder::contents(dir / L"t.csv"));
    std::vector<std::vector<float>> blocks;
    for (std::string line; std::getline(lines, line);) {
        std::vector<float>& block = blocks.emplace_back();
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) block.push_back(std::stof(field));
    }
    EXPECT_EQ((std::vector<std::vector<float>>{first, {}, second}), blocks) << "a line a block, an empty one too";

    try {
        TapFile nowhere(dir / L"missing" / L"t.raw");
        ADD_FAILURE() << "opened a file in a folder that is not there";
    } catch (const EngineError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("--tap: cannot write ")) << e.what();
    }
}

TEST(Chart, IsAHeaderThenARowPerValueWithItsFrequency)
{
    const TempFolder dir;
    const std::vector<float> block{0.001f, 1.00061917f, -0.5f};
    writeChart(dir / L"gain.csv", block, 40.0);
    EXPECT_EQ("frequency_hz,gain\n0,0.00100000005\n40,1.00061917\n80,-0.5\n", TempFolder::contents(dir / L"gain.csv"));
    writeChart(dir / L"steps.csv", block, 2.5);
    std::istringstream lines(TempFolder::contents(dir / L"steps.csv"));
    std::string line;
    std::getline(lines, line);
    std::vector<float> values;
    for (double expected = 0; std::getline(lines, line); expected += 2.5) {
        EXPECT_EQ(expected, std::stod(line.substr(0, line.find(',')))) << line;
        values.push_back(std::stof(line.substr(line.find(',') + 1)));
    }
    EXPECT_EQ(block, values) << "every float comes back exactly";
    try {
        writeChart(dir / L"missing" / L"gain.csv", block, 40.0);
        ADD_FAILURE() << "wrote into a folder that is not there";
    } catch (const EngineError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("--chart: cannot write ")) << e.what();
    }
}

} // namespace
} // namespace vento::test
