// VentoModuleRegistrar in the engine DLL, and the catalogue it keeps, as the engine reads it.
#include <windows.h>
#include <cguid.h>
#include <gtest/gtest.h>
#include <wrl/client.h>
#include "com/bstr.h"
#include "engine.h"
#include "host/registrar/catalogue.h"
#include "server_fixture.h"

using namespace vento::test;
using Microsoft::WRL::ComPtr;
using modkit::Bstr;

namespace {

const CLSID classA = {0x1A2B3C4D, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
const CLSID classB = {0x1A2B3C4D, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 2}};

// The catalogue's class id for `name`; CLSID_NULL when it has none.
CLSID lookUp(const wchar_t* name)
{
    for (const vento::CatalogueEntry& entry : vento::readCatalogue())
        if (entry.name == name) return entry.clsid;
    return CLSID_NULL;
}

class RegistrarTest : public RegistrationTest {
protected:
    void SetUp() override
    {
        RegistrationTest::SetUp();
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VentoModuleRegistrar, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IModuleRegistrar, reinterpret_cast<void**>(registrar.GetAddressOf())));
    }
    void TearDown() override
    {
        registrar.Reset();
        RegistrationTest::TearDown();
    }
    ComPtr<IModuleRegistrar> registrar;
};

TEST_F(RegistrarTest, KeepsOneClassPerModuleName)
{
    Bstr name(L"Vento test module");
    ASSERT_EQ(S_OK, registrar->RegisterModule(name.get(), classA));
    EXPECT_TRUE(IsEqualCLSID(classA, lookUp(L"Vento test module")));
    EXPECT_EQ(L"{1A2B3C4D-0001-4000-8000-000000000001}",
              stringValue(HKEY_LOCAL_MACHINE, vento::catalogueKey, L"Vento test module"));

    ASSERT_EQ(S_OK, registrar->RegisterModule(name.get(), classB)) << "registering again replaces the class";
    EXPECT_TRUE(IsEqualCLSID(classB, lookUp(L"Vento test module")));

    ASSERT_EQ(S_OK, registrar->UnregisterModule(name.get()));
    EXPECT_TRUE(IsEqualCLSID(CLSID_NULL, lookUp(L"Vento test module")));
    EXPECT_EQ(S_OK, registrar->UnregisterModule(name.get())) << "a module no longer listed";
}

TEST_F(RegistrarTest, RefusesBadArgumentsAndWritesNothing)
{
    auto before = vento::readCatalogue().size();
    Bstr empty(L"");
    Bstr name(L"Vento test module");
    Bstr withNull(std::wstring_view(L"Vento\0test", 10));
    EXPECT_EQ(E_POINTER, registrar->RegisterModule(nullptr, classA));
    EXPECT_EQ(E_INVALIDARG, registrar->RegisterModule(empty.get(), classA));
    EXPECT_EQ(E_INVALIDARG, registrar->RegisterModule(withNull.get(), classA));
    EXPECT_EQ(E_INVALIDARG, registrar->RegisterModule(name.get(), CLSID_NULL));
    EXPECT_EQ(E_POINTER, registrar->UnregisterModule(nullptr));
    EXPECT_EQ(E_INVALIDARG, registrar->UnregisterModule(empty.get()));
    EXPECT_EQ(before, vento::readCatalogue().size());
}

TEST_F(RegistrarTest, AnswersIDispatchWithoutTypeInformation)
{
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, registrar.As(&dispatch));
    UINT count = 7;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    ComPtr<IUnknown> a, b;
    registrar.As(&a);
    dispatch.As(&b);
    EXPECT_EQ(a.Get(), b.Get());
}

TEST_F(RegistrarTest, TheEngineDllStaysWhileTheRegistrarLives)
{
    EXPECT_EQ(S_FALSE, engine.call("DllCanUnloadNow"));
    registrar.Reset();
    EXPECT_EQ(S_OK, engine.call("DllCanUnloadNow"));
}

TEST_F(RegistrarTest, TheCatalogueListsModulesByNameAndSkipsWhatIsNoClassId)
{
    vento::catalogueModule(L"Vento test B", classB);
    vento::catalogueModule(L"Vento test A", classA);
    setStringValue(HKEY_LOCAL_MACHINE, vento::catalogueKey, L"Vento test broken", L"not a class id");

    std::vector<std::wstring> names;
    for (const vento::CatalogueEntry& entry : vento::readCatalogue())
        if (entry.name.starts_with(L"Vento test")) names.push_back(entry.name);
    EXPECT_EQ((std::vector<std::wstring>{L"Vento test A", L"Vento test B"}), names);
}

TEST_F(RegistrarTest, AnEmptyCatalogueReadsAsEmpty)
{
    deleteTree(HKEY_LOCAL_MACHINE, L"Software\\Vento");
    EXPECT_TRUE(vento::readCatalogue().empty());
    vento::uncatalogueModule(L"FFT"); // nothing to remove is no error
}

} // namespace
