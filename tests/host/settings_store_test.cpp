// The settings store a module saves to and loads from.
#include <gtest/gtest.h>
#include "engine_fixture.h"
#include "host/engine/settings_store.h"

namespace vento::test {
namespace {

using Microsoft::WRL::ComPtr;
using Kind = SettingsStore::Kind;

class SettingsStoreTest : public testing::Test {
protected:
    ComApartment apartment;
    ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
};

TEST_F(SettingsStoreTest, MissingNameFailsAndLeavesTheValueAlone)
{
    store->setString(L"Gain", L"text, not a number");
    store->setFloat(L"Title", 1.0f);

    float number = 123.0f;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), store->ReadFloat(L"Gain"_b.get(), &number));
    EXPECT_EQ(123.0f, number);
    BSTR poisoned = reinterpret_cast<BSTR>(0xdeadbeef);
    BSTR value = poisoned;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), store->ReadString(L"Title"_b.get(), &value));
    EXPECT_EQ(poisoned, value);
    EXPECT_EQ(E_POINTER, store->ReadFloat(L"Title"_b.get(), nullptr));
}

TEST_F(SettingsStoreTest, ValuesRoundTripAndWritesAreRecordedInOrder)
{
    ComPtr<ISettingsStore> asModuleSeesIt;
    ASSERT_EQ(S_OK, store.As(&asModuleSeesIt));
    ASSERT_EQ(S_OK, asModuleSeesIt->WriteFloat(L"Gain"_b.get(), 0.25f));
    ASSERT_EQ(S_OK, asModuleSeesIt->WriteString(L"File"_b.get(), L"C:\\a.wav"_b.get()));
    ASSERT_EQ(S_OK, asModuleSeesIt->WriteFloat(L"Gain"_b.get(), -3.5f));
    ASSERT_EQ(S_OK, asModuleSeesIt->WriteString(L"Empty"_b.get(), nullptr));

    float gain = 0;
    ASSERT_EQ(S_OK, asModuleSeesIt->ReadFloat(L"Gain"_b.get(), &gain));
    EXPECT_EQ(-3.5f, gain);
    modkit::Bstr file;
    ASSERT_EQ(S_OK, asModuleSeesIt->ReadString(L"File"_b.get(), file.put()));
    EXPECT_EQ(L"C:\\a.wav", std::wstring(file.view()));
    EXPECT_EQ(std::optional<std::wstring>(L""), store->stringValue(L"Empty"));
    EXPECT_EQ(std::nullopt, store->floatValue(L"File"));

    std::vector<SettingsStore::Write> expected = {
        {Kind::Float, L"Gain"}, {Kind::String, L"File"}, {Kind::Float, L"Gain"}, {Kind::String, L"Empty"}};
    EXPECT_TRUE(expected == store->writes());
    store->clearWrites();
    EXPECT_TRUE(store->writes().empty());
    EXPECT_EQ(std::optional<float>(-3.5f), store->floatValue(L"Gain"));
}

TEST_F(SettingsStoreTest, AnInjectedFailureHitsTheChosenCallOnceAndChangesNothing)
{
    using Call = SettingsStore::Call;
    EXPECT_TRUE(store->calls().empty()) << "no log until asked for";
    store->setFloat(L"Gain", 2.0f);
    store->failCall(Call::WriteFloat, E_ACCESSDENIED, 1);

    EXPECT_EQ(S_OK, store->WriteFloat(L"Gain"_b.get(), 3.0f));
    EXPECT_EQ(S_OK, store->WriteString(L"File"_b.get(), L"a.wav"_b.get())) << "another kind of call";
    EXPECT_EQ(E_ACCESSDENIED, store->WriteFloat(L"Gain"_b.get(), 4.0f)) << "the second write of a float";
    EXPECT_EQ(3.0f, store->floatValue(L"Gain"));
    EXPECT_EQ(S_OK, store->WriteFloat(L"Gain"_b.get(), 5.0f)) << "once only";
    float value = 0;
    EXPECT_EQ(S_OK, store->ReadFloat(L"Gain"_b.get(), &value));
    EXPECT_EQ(5.0f, value);
    EXPECT_EQ((std::vector<Call>{Call::WriteFloat, Call::WriteString, Call::WriteFloat, Call::WriteFloat, Call::ReadFloat}),
              store->calls());
    EXPECT_EQ(3u, store->writes().size()) << "the failed write is no write";
}

} // namespace
} // namespace vento::test
