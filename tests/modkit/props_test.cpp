// Editing property documents on the platform's XML component.
#include <gtest/gtest.h>
#include <objbase.h>
#include "module/module_base.h"
#include "props_reader.h"

using namespace modkit;

namespace {

class PropertyDocument : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CLSID clsid;
        ASSERT_EQ(S_OK, CLSIDFromProgID(L"msxml2.domdocument", &clsid));
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IXMLDOMDocument,
                                         reinterpret_cast<void**>(doc.GetAddressOf())));
    }
    void TearDown() override
    {
        doc.Reset();
        CoUninitialize();
    }
    void load(const wchar_t* text)
    {
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(S_OK, doc->loadXML(Bstr(text).get(), &ok));
        ASSERT_EQ(VARIANT_TRUE, ok);
    }
    // Element names under PROPS, in document order, with their texts.
    std::wstring children()
    {
        std::wstring result;
        for (const auto& [name, text] : vento::test::propsInOrder(doc.Get())) result += name + L"=" + text + L";";
        return result;
    }
    ComPtr<IXMLDOMDocument> doc;
};

TEST_F(PropertyDocument, ReplacingKeepsThePositionAndAddingAppends)
{
    load(L"<?xml version='1.0'?><PROPS><Type>Audio</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    SetProperty(doc.Get(), L"Type", L"FFT");
    EXPECT_EQ(L"Type=FFT;SamplesPerSecond=8000;", children());
    SetProperty(doc.Get(), L"Range", L"-1,1");
    EXPECT_EQ(L"Type=FFT;SamplesPerSecond=8000;Range=-1,1;", children());
    SetProperty(doc.Get(), L"Range", L"0,1");
    EXPECT_EQ(L"Type=FFT;SamplesPerSecond=8000;Range=0,1;", children()) << "a key occurs once";
}

TEST_F(PropertyDocument, ReadsTextOrEmptyWhenMissing)
{
    load(modkit::emptyPropsDocument);
    EXPECT_EQ(L"", GetProperty(doc.Get(), L"Type"));
    SetProperty(doc.Get(), L"Type", L"a < b & c");
    EXPECT_EQ(L"a < b & c", GetProperty(doc.Get(), L"Type"));
}

TEST_F(PropertyDocument, WithoutPropsBothFailWithInvalidPointer)
{
    load(L"<OTHER><Type>Audio</Type></OTHER>");
    EXPECT_EQ(E_POINTER, boundary([&] { SetProperty(doc.Get(), L"Type", L"FFT"); }));
    EXPECT_EQ(E_POINTER, boundary([&] { GetProperty(doc.Get(), L"Type"); }));
}

} // namespace
