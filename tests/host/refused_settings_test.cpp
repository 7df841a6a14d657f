// Which described settings a module refused, judged from what it saved before and after loading
// and what it read; and the one line that tells of it.
#include <gtest/gtest.h>
#include "engine_fixture.h"
#include "host/graph/graph_build.h"

namespace vento::test {
namespace {

using Microsoft::WRL::ComPtr;

class RefusedSettingsTest : public testing::Test {
protected:
    ComApartment apartment;
    ComPtr<SettingsStore> before = modkit::make<SettingsStore>(), loaded = modkit::make<SettingsStore>(),
                          after = modkit::make<SettingsStore>();
    // The module's LoadSettings looking at a setting.
    void read(const wchar_t* name, bool number = true)
    {
        if (number) {
            float ignored;
            loaded->ReadFloat(modkit::Bstr(name).get(), &ignored);
        } else {
            modkit::Bstr ignored;
            loaded->ReadString(modkit::Bstr(name).get(), ignored.put());
        }
    }
    std::vector<RefusedSetting> judge(const std::vector<GraphSetting>& given)
    {
        return refusedSettings(given, *before.Get(), *loaded.Get(), *after.Get());
    }
};

TEST_F(RefusedSettingsTest, AValueKeptInsteadOfAnotherGivenIsRefusedWhateverItsKind)
{
    before->setFloat(L"BlockSize", 128);
    before->setString(L"File", L"a.wav");
    after->setFloat(L"BlockSize", 128);
    after->setString(L"File", L"a.wav");
    read(L"BlockSize");
    read(L"File", false);
    auto refused = judge({{L"BlockSize", -5.0f}, {L"File", std::wstring(L"A.wav")}}); // text compares exactly
    ASSERT_EQ(2u, refused.size());
    EXPECT_EQ(L"BlockSize", refused[0].name);
    EXPECT_EQ(-5.0f, std::get<float>(refused[0].given));
    EXPECT_EQ(128.0f, std::get<float>(refused[0].kept));
    EXPECT_EQ(L"File", refused[1].name);
    EXPECT_EQ("g.xml: module 'tone': setting 'BlockSize' = -5 was refused; it keeps 128",
              refusalText(L"C:\\graphs\\g.xml", L"tone", refused[0]));
    EXPECT_EQ("g.xml: module 'w': setting 'File' = 'A.wav' was refused; it keeps 'a.wav'", refusalText(L"g.xml", L"w", refused[1]));
}

TEST_F(RefusedSettingsTest, TakenRoundedUnreadUnsavedAndUnchangedSettingsAreNotRefusals)
{
    before->setFloat(L"Amp", 1);
    after->setFloat(L"Amp", 0.5f); // taken
    before->setFloat(L"Taps", 20);
    after->setFloat(L"Taps", 100); // taken in the module's own way (100.5 is no whole number)
    before->setFloat(L"Phase", 0);
    after->setFloat(L"Phase", 0); // saved to be seen, never loaded
    before->setFloat(L"Rate", 8000);
    after->setFloat(L"Rate", 8000); // given as it was
    before->setFloat(L"Gone", 1); // no longer saved after loading
    for (const wchar_t* name : {L"Amp", L"Taps", L"Rate", L"Gone", L"Never"}) read(name);
    EXPECT_TRUE(judge({{L"Amp", 0.5f}, {L"Taps", 100.5f}, {L"Phase", 2.0f}, {L"Rate", 8000.0f}, {L"Gone", 2.0f}, {L"Never", 3.0f}})
                    .empty());
    // A number given where the module keeps text is not judged either: it saves no number of that name.
    before->setString(L"Title", L"x");
    after->setString(L"Title", L"x");
    read(L"Title");
    EXPECT_TRUE(judge({{L"Title", 1.0f}}).empty());
}

TEST_F(RefusedSettingsTest, NumbersCompareAsTheFloatsTheStoreKeepsAndPrintAsShortAsTheyComeBack)
{
    before->setFloat(L"Freq", 0.1f);
    after->setFloat(L"Freq", 0.1f);
    read(L"Freq");
    EXPECT_TRUE(judge({{L"Freq", float(0.1)}}).empty());
    auto refused = judge({{L"Freq", 0.2f}});
    ASSERT_EQ(1u, refused.size());
    EXPECT_EQ("g.xml: module 'f': setting 'Freq' = 0.2 was refused; it keeps 0.1", refusalText(L"g.xml", L"f", refused[0]));
    refused[0].given = 16777217.0f; // 2^24 + 1 is no float: the file's number as the store holds it
    EXPECT_NE(std::string::npos, refusalText(L"g.xml", L"f", refused[0]).find("= 16777216 was"));
}

} // namespace
} // namespace vento::test
