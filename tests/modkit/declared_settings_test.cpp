// Declared settings: one table row per setting gives its saving and its loading (order, accepted
// values, save-only rows, rows that end a load), and a load is all or nothing.
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>
#include "host/engine/settings_store.h"
#include "module/settings.h"

using namespace modkit;
using vento::SettingsStore;
using Kind = SettingsStore::Kind;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

struct Fields {
    long size = 128;
    float gain = 0.5f;
    long on = 1;
    std::wstring file = L"old.wav";
    float turn = 0.25f;
    long gap = 2;
};

// Saved in table order, loaded in loadAt order; "Turn" is never read.
constexpr Setting<Fields> table[] = {
    {.name = L"Size", .field = &Fields::size, .accept = usableBlockSize, .loadAt = 3, .stop = Stop::IfRefused},
    {.name = L"Gain", .field = &Fields::gain, .accept = finite, .loadAt = 2},
    {.name = L"On", .field = &Fields::on, .loadAt = 5, .flag = true},
    {.name = L"File", .field = &Fields::file, .loadAt = 1},
    {.name = L"Turn", .field = &Fields::turn, .saveOnly = true},
    {.name = L"Gap", .field = &Fields::gap, .accept = Accept::clampedTo(0, 3), .loadAt = 4},
};

static_assert(validLoadOrder(std::span<const Setting<Fields>>(table)));
constexpr Setting<Fields> twoFirsts[] = {{.name = L"A", .field = &Fields::size, .loadAt = 1},
                                         {.name = L"B", .field = &Fields::gap, .loadAt = 1}};
static_assert(!validLoadOrder(std::span<const Setting<Fields>>(twoFirsts)));
constexpr Setting<Fields> halfPlaced[] = {{.name = L"A", .field = &Fields::size, .loadAt = 1},
                                          {.name = L"B", .field = &Fields::gap}};
static_assert(!validLoadOrder(std::span<const Setting<Fields>>(halfPlaced)));

class DeclaredSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        store->setString(L"File", L"new.wav");
        store->setFloat(L"Gain", 0.75f);
        store->setFloat(L"Size", 512.9f);
        store->setFloat(L"Gap", 2.0f);
        store->setFloat(L"On", 0.0f);
    }
    // Loads `table` into `fields`; the number of times the module's step ran.
    int load(const std::function<void(const LoadedSettings&)>& step = {})
    {
        int steps = 0;
        loadSettings(fields, std::span<const Setting<Fields>>(table), settings, [&](const LoadedSettings& loaded) {
            ++steps;
            last = loaded;
            if (step) step(loaded);
        });
        return steps;
    }
    std::vector<std::wstring> readNames() const
    {
        std::vector<std::wstring> names;
        for (const auto& read : store->reads()) names.push_back(read.name);
        return names;
    }

    Microsoft::WRL::ComPtr<SettingsStore> store = make<SettingsStore>();
    Settings settings{*store.Get()};
    Fields fields;
    LoadedSettings last;
};

TEST_F(DeclaredSettings, SavesEveryRowInTableOrderFlagsAsOneOrZero)
{
    store->clear();
    fields.on = 7;
    saveSettings(fields, std::span<const Setting<Fields>>(table), settings);
    const std::vector<SettingsStore::Write> expected = {{Kind::Float, L"Size"}, {Kind::Float, L"Gain"}, {Kind::Float, L"On"},
                                                        {Kind::String, L"File"}, {Kind::Float, L"Turn"}, {Kind::Float, L"Gap"}};
    EXPECT_EQ(expected, store->writes());
    EXPECT_EQ(128.0f, store->floatValue(L"Size"));
    EXPECT_EQ(1.0f, store->floatValue(L"On"));
    EXPECT_EQ(L"old.wav", store->stringValue(L"File"));
    EXPECT_EQ(0.25f, store->floatValue(L"Turn"));
}

TEST_F(DeclaredSettings, LoadsInItsOwnOrderNeverReadsSaveOnlyRowsAndTellsWhatChanged)
{
    EXPECT_EQ(1, load());
    EXPECT_EQ((std::vector<std::wstring>{L"File", L"Gain", L"Size", L"Gap", L"On"}), readNames());
    EXPECT_EQ(L"new.wav", fields.file);
    EXPECT_EQ(0.75f, fields.gain);
    EXPECT_EQ(512, fields.size) << "truncated toward zero";
    EXPECT_EQ(0, fields.on);
    EXPECT_EQ(0.25f, fields.turn);
    EXPECT_TRUE(last.changed(L"Size"));
    EXPECT_FALSE(last.changed(L"Gap")) << "the same value";
    EXPECT_FALSE(last.changed(L"Turn"));
    EXPECT_EQ(512.9f, last.stored(L"Size"));
    EXPECT_TRUE(std::isnan(last.stored(L"Turn")));
}

TEST_F(DeclaredSettings, ARefusedValueKeepsItsFieldAndTheRestIsTaken)
{
    struct Row {
        const wchar_t* name;
        float stored;
        long Fields::*field;
        long expected;
    };
    const Row rows[] = {
        {L"Gap", 9.0f, &Fields::gap, 3},   {L"Gap", -4.0f, &Fields::gap, 0}, {L"Gap", nan, &Fields::gap, 2},
        {L"On", 3e9f, &Fields::on, 1},     {L"On", -1.5f, &Fields::on, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::string(row.name, row.name + wcslen(row.name)) << " = " << row.stored);
        SetUp();
        fields = Fields{};
        store->setFloat(row.name, row.stored);
        EXPECT_EQ(1, load());
        EXPECT_EQ(row.expected, fields.*row.field);
        EXPECT_EQ(L"new.wav", fields.file);
    }
    SetUp();
    fields = Fields{};
    store->setFloat(L"Gain", nan);
    load();
    EXPECT_EQ(0.5f, fields.gain) << "no number is no gain";
}

TEST_F(DeclaredSettings, AStopRowEndsTheReadingAndNothingOfTheLoadIsTaken)
{
    for (float size : {0.0f, -5.0f, 2e6f, nan}) {
        SCOPED_TRACE(size);
        fields = Fields{};
        store->setFloat(L"Size", size);
        store->clearReads();
        EXPECT_EQ(0, load()) << "the module's step does not run";
        EXPECT_EQ((std::vector<std::wstring>{L"File", L"Gain", L"Size"}), readNames());
        EXPECT_EQ(L"old.wav", fields.file);
        EXPECT_EQ(0.5f, fields.gain);
        EXPECT_EQ(128, fields.size);
    }
}

TEST_F(DeclaredSettings, AZeroStopRowStopsAtZeroAndNoNumberButNotAtARefusedValue)
{
    constexpr Setting<Fields> rates[] = {
        {.name = L"Frequency", .field = &Fields::size, .accept = positive, .stop = Stop::IfZero},
        {.name = L"Blocksize", .field = &Fields::gap},
    };
    struct Row {
        float stored;
        bool blockRead;
        long rate;
    };
    const Row rows[] = {{0.0f, false, 128}, {0.4f, false, 128}, {nan, false, 128}, {-8.0f, true, 128}, {8000.0f, true, 8000}};
    store->setFloat(L"Blocksize", 256.0f);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        fields = Fields{};
        store->setFloat(L"Frequency", row.stored);
        store->clearReads();
        loadSettings(fields, std::span<const Setting<Fields>>(rates), settings, [](const LoadedSettings&) {});
        EXPECT_EQ(row.blockRead ? 2u : 1u, store->reads().size());
        EXPECT_EQ(row.rate, fields.size);
        EXPECT_EQ(row.blockRead ? 256 : 2, fields.gap);
    }
}

TEST_F(DeclaredSettings, AFailedStepOrStoreCallLeavesEveryFieldAsItWas)
{
    EXPECT_THROW(load([&](const LoadedSettings&) {
                     EXPECT_EQ(L"new.wav", fields.file) << "taken before the step";
                     throw std::bad_alloc();
                 }),
                 std::bad_alloc);
    EXPECT_EQ(L"old.wav", fields.file);
    EXPECT_EQ(0.5f, fields.gain);
    EXPECT_EQ(128, fields.size);
    EXPECT_EQ(1, fields.on);

    store->failCall(SettingsStore::Call::ReadFloat, E_ACCESSDENIED, 2); // "Gap", after "Gain" and "Size"
    EXPECT_EQ(E_ACCESSDENIED, boundary([&] { load(); }));
    EXPECT_EQ(L"old.wav", fields.file);
    EXPECT_EQ(0.5f, fields.gain);
    EXPECT_EQ(128, fields.size);
}

} // namespace
