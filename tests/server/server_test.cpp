// The fwdtransform server's class factories, its unload answer and its type library, straight from
// the DLL (no registration needed).
#include <initguid.h>
#include <gtest/gtest.h>
#include <wrl/client.h>
#include "engine.h"
#include "fwdtransform_idl.h"
#include "host/engine/apartment.h"
#include "host/engine/vento_engine.h"
#include "server_fixture.h"

using namespace vento::test;
using Microsoft::WRL::ComPtr;

namespace {

class ServerTest : public ::testing::Test {
protected:
    vento::ComApartment apartment;
    Library server{besideTestProgram(L"fwdtransform.dll")};
    vento::Engine engine; // module objects need the engine's core

    ComPtr<IClassFactory> factory(REFCLSID clsid)
    {
        ComPtr<IClassFactory> f;
        EXPECT_EQ(S_OK, server.getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(f.GetAddressOf())));
        return f;
    }
    HRESULT canUnload() const { return server.call("DllCanUnloadNow"); }
};

TEST_F(ServerTest, BothClassesAreCreatableThroughTheirFactories)
{
    struct Row {
        const char* name;
        const CLSID* clsid;
        const IID* answers;
    };
    const Row rows[] = {{"module", &CLSID_FFTModule, &IID_IModule}, {"page", &CLSID_FFTModulePP, &IID_IUnknown}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ComPtr<IClassFactory> f = factory(*row.clsid);
        ASSERT_TRUE(f);
        ComPtr<IUnknown> object;
        ASSERT_EQ(S_OK, f->CreateInstance(nullptr, *row.answers, reinterpret_cast<void**>(object.GetAddressOf())));
        EXPECT_TRUE(object);
        ComPtr<IUnknown> again;
        EXPECT_EQ(S_OK, server.getClassObject(*row.clsid, IID_IUnknown, reinterpret_cast<void**>(again.GetAddressOf())));
        EXPECT_EQ(static_cast<IUnknown*>(f.Get()), again.Get()) << "one cached factory per class";
    }

    IUnknown* poisoned = reinterpret_cast<IUnknown*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, server.getClassObject(IID_IModule, IID_IClassFactory,
                                                               reinterpret_cast<void**>(&poisoned)));
    EXPECT_EQ(nullptr, poisoned);
    EXPECT_EQ(E_POINTER, server.getClassObject(CLSID_FFTModule, IID_IClassFactory, nullptr));
}

TEST_F(ServerTest, TheServerStaysWhileAnyObjectOrHeldFactoryLives)
{
    ASSERT_EQ(S_OK, canUnload());
    for (const CLSID* clsid : {&CLSID_FFTModule, &CLSID_FFTModulePP}) {
        SCOPED_TRACE(clsid == &CLSID_FFTModule ? "module" : "page");
        ComPtr<IClassFactory> f = factory(*clsid);
        EXPECT_EQ(S_FALSE, canUnload()) << "a factory held outside the server's cache";
        ComPtr<IUnknown> object;
        ASSERT_EQ(S_OK, f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object.GetAddressOf())));
        f.Reset();
        EXPECT_EQ(S_FALSE, canUnload()) << "a live object";
        object.Reset();
        EXPECT_EQ(S_OK, canUnload());
    }
    ComPtr<IClassFactory> f = factory(CLSID_FFTModule);
    ASSERT_EQ(S_OK, f->LockServer(TRUE));
    f.Reset();
    EXPECT_EQ(S_FALSE, canUnload()) << "a lock";
    factory(CLSID_FFTModule)->LockServer(FALSE);
    EXPECT_EQ(S_OK, canUnload());
}

// Type attributes released on scope exit.
struct TypeAttr {
    ComPtr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    explicit TypeAttr(ComPtr<ITypeInfo> i) : info(std::move(i)) { EXPECT_EQ(S_OK, info->GetTypeAttr(&attr)); }
    ~TypeAttr()
    {
        if (attr) info->ReleaseTypeAttr(attr);
    }
};

std::wstring helpString(ITypeInfo* info)
{
    BSTR doc = nullptr;
    EXPECT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr));
    std::wstring text = doc ? doc : L"";
    SysFreeString(doc);
    return text;
}

TEST_F(ServerTest, TheTypeLibraryInTheServerDescribesTheDualInterfaceAndBothClasses)
{
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(besideTestProgram(L"fwdtransform.dll").c_str(), REGKIND_NONE, &lib));

    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&libAttr));
    EXPECT_TRUE(IsEqualGUID(LIBID_FWDTRANSFORMLib, libAttr->guid));
    EXPECT_EQ(1, libAttr->wMajorVerNum);
    EXPECT_EQ(0, libAttr->wMinorVerNum);
    EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, libAttr->syskind) << "the build's own platform";
    lib->ReleaseTLibAttr(libAttr);
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(S_OK, lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
    EXPECT_STREQ(L"FWDTRANSFORMLib", name);
    EXPECT_STREQ(L"fwdtransform 1.0 Type Library", doc);
    SysFreeString(name);
    SysFreeString(doc);

    // A dual interface has two halves: the dispatch view (found by its id) and the vtable interface.
    ComPtr<ITypeInfo> dispatchHalf, interfaceHalf;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(IID_IFFTModule, &dispatchHalf));
    {
        TypeAttr t(dispatchHalf);
        EXPECT_EQ(TKIND_DISPATCH, t.attr->typekind);
        EXPECT_TRUE(t.attr->wTypeFlags & TYPEFLAG_FDUAL);
    }
    EXPECT_EQ(L"IFFTModule Interface", helpString(dispatchHalf.Get()));
    HREFTYPE vtableRef = 0;
    ASSERT_EQ(S_OK, dispatchHalf->GetRefTypeOfImplType(-1, &vtableRef));
    ASSERT_EQ(S_OK, dispatchHalf->GetRefTypeInfo(vtableRef, &interfaceHalf));
    {
        TypeAttr t(interfaceHalf);
        EXPECT_EQ(TKIND_INTERFACE, t.attr->typekind);
        EXPECT_TRUE(t.attr->wTypeFlags & TYPEFLAG_FDUAL);
        EXPECT_TRUE(IsEqualGUID(IID_IFFTModule, t.attr->guid));
        EXPECT_EQ(0, t.attr->cFuncs) << "no methods of its own";
    }

    struct Row {
        const CLSID* clsid;
        const wchar_t* help;
    };
    for (const Row& row : {Row{&CLSID_FFTModule, L"FFTModule Class"}, Row{&CLSID_FFTModulePP, L"FFTModulePP Class"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.help)));
        ComPtr<ITypeInfo> coclass;
        ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(*row.clsid, &coclass));
        TypeAttr t(coclass);
        EXPECT_EQ(TKIND_COCLASS, t.attr->typekind);
        EXPECT_EQ(row.help, helpString(coclass.Get()));
    }

    // The module class's default interface is the dual one.
    ComPtr<ITypeInfo> coclass, implemented;
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(CLSID_FFTModule, &coclass));
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &ref));
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, &implemented));
    TypeAttr t(implemented);
    EXPECT_TRUE(IsEqualGUID(IID_IFFTModule, t.attr->guid));
}

} // namespace
