// Self-registration of a module server (the real fwdtransform DLL): the COM keys of both classes,
// the type library, and the module's entry in the engine's catalogue, through regsvr32 and through
// the entry points; and what happens when the engine's registrar is missing or fails.
#include <initguid.h>
#include <gtest/gtest.h>
#include <olectl.h>
#include <cguid.h>
#include <vector>
#include <wrl/client.h>
#include "com/bstr.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "engine.h"
#include "fwdtransform_idl.h"
#include "host/registrar/catalogue.h"
#include "message_box_watcher.h"
#include "server_fixture.h"

using namespace vento::test;
using Microsoft::WRL::ComPtr;

namespace {

struct ClassRow {
    const wchar_t* clsid;
    const wchar_t* progId; // version-independent
    const wchar_t* display;
};
const ClassRow classRows[] = {
    {moduleClsid, L"fwdtransform.FFTModule", L"FFTModule Class"},
    {pageClsid, L"fwdtransform.FFTModulePP", L"FFTModulePP Class"},
};

std::wstring classKey(const ClassRow& row) { return std::wstring(L"CLSID\\") + row.clsid; }
std::wstring typeLibKey() { return std::wstring(L"TypeLib\\") + libid + L"\\1.0"; }
// The file of the library for this program's platform: RegisterTypeLib writes the one of the
// library's own system kind.
std::wstring typeLibFileKey() { return typeLibKey() + (sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32"); }

// The catalogue's class id for `name`, in braces; empty when the catalogue has no such module.
std::wstring catalogued(const wchar_t* name)
{
    for (const vento::CatalogueEntry& entry : vento::readCatalogue()) {
        if (entry.name != name) continue;
        wchar_t text[40];
        StringFromGUID2(entry.clsid, text, 40);
        return text;
    }
    return {};
}

// The COM keys of both classes and the type library, whatever the catalogue holds.
void expectServerKeys(const std::wstring& path)
{
    const HKEY cr = HKEY_CLASSES_ROOT;
    for (const ClassRow& row : classRows) {
        SCOPED_TRACE(testing::Message() << "class " << testing::PrintToString(std::wstring(row.display)));
        std::wstring progId = row.progId, versioned = progId + L".1";
        EXPECT_EQ(row.display, stringValue(cr, versioned));
        EXPECT_EQ(row.clsid, stringValue(cr, versioned + L"\\CLSID"));
        EXPECT_EQ(row.display, stringValue(cr, progId));
        EXPECT_EQ(row.clsid, stringValue(cr, progId + L"\\CLSID"));
        EXPECT_EQ(versioned, stringValue(cr, progId + L"\\CurVer"));

        std::wstring key = classKey(row);
        EXPECT_EQ(row.display, stringValue(cr, key));
        EXPECT_EQ(versioned, stringValue(cr, key + L"\\ProgID"));
        EXPECT_EQ(progId, stringValue(cr, key + L"\\VersionIndependentProgID"));
        EXPECT_TRUE(keyExists(cr, key + L"\\Programmable"));
        EXPECT_EQ(path, stringValue(cr, key + L"\\InprocServer32"));
        EXPECT_EQ(L"Apartment", stringValue(cr, key + L"\\InprocServer32", L"ThreadingModel"));
        EXPECT_EQ(libid, stringValue(cr, key + L"\\TypeLib"));
    }
    EXPECT_EQ(L"fwdtransform 1.0 Type Library", stringValue(cr, typeLibKey()));
    EXPECT_EQ(path, stringValue(cr, typeLibFileKey()));
    EXPECT_EQ(path.substr(0, path.find_last_of(L'\\') + 1), stringValue(cr, typeLibKey() + L"\\HELPDIR"));
    EXPECT_EQ(libid, stringValue(cr, std::wstring(L"Interface\\") + moduleIid + L"\\TypeLib"));
}

void expectRegistered(const std::wstring& path)
{
    expectServerKeys(path);
    EXPECT_EQ(moduleClsid, catalogued(L"FFT"));
}

// Everything the server wrote is gone; the CLSID key itself stays.
void expectUnregistered()
{
    const HKEY cr = HKEY_CLASSES_ROOT;
    for (const ClassRow& row : classRows) {
        SCOPED_TRACE(testing::Message() << "class " << testing::PrintToString(std::wstring(row.display)));
        EXPECT_FALSE(keyExists(cr, row.progId));
        EXPECT_FALSE(keyExists(cr, std::wstring(row.progId) + L".1"));
        EXPECT_FALSE(keyExists(cr, classKey(row)));
    }
    EXPECT_TRUE(keyExists(cr, L"CLSID"));
    EXPECT_FALSE(keyExists(cr, std::wstring(L"TypeLib\\") + libid));
    EXPECT_FALSE(keyExists(cr, std::wstring(L"Interface\\") + moduleIid));
    EXPECT_EQ(L"", catalogued(L"FFT"));
}

std::wstring inQuotes(const std::wstring& path) { return L"\"" + path + L"\""; }

TEST_F(RegistrationTest, Regsvr32RegistersEveryKeyAndUnregistersThemAgain)
{
    ASSERT_EQ(0u, runRegsvr32(L"/s " + inQuotes(serverPath)));
    expectRegistered(serverPath);

    ASSERT_EQ(0u, runRegsvr32(L"/s /u " + inQuotes(serverPath)));
    expectUnregistered();
}

TEST_F(RegistrationTest, EntryPointsRegisterEveryKeyAndUnregisterThemAgain)
{
    ASSERT_EQ(S_OK, server.call("DllRegisterServer"));
    expectRegistered(serverPath);

    ASSERT_EQ(S_OK, server.call("DllUnregisterServer"));
    expectUnregistered();
    EXPECT_EQ(S_OK, server.call("DllUnregisterServer")) << "unregistering an unregistered server";
}

TEST_F(RegistrationTest, RegisteringAgainReplacesTheClassKeyWholeAndRewritesTheRest)
{
    ASSERT_EQ(S_OK, server.call("DllRegisterServer"));
    const std::wstring key = classKey(classRows[0]);
    createKey(HKEY_CLASSES_ROOT, key + L"\\Stale");
    setStringValue(HKEY_CLASSES_ROOT, key, L"Stale", L"left over");
    setStringValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, L"C:\\elsewhere\\old.dll");
    setStringValue(HKEY_CLASSES_ROOT, L"fwdtransform.FFTModule\\CurVer", nullptr, L"fwdtransform.FFTModule.0");
    vento::catalogueModule(L"FFT", CLSID_FFTModulePP);

    ASSERT_EQ(S_OK, server.call("DllRegisterServer"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, key + L"\\Stale"));
    EXPECT_EQ(std::nullopt, stringValue(HKEY_CLASSES_ROOT, key, L"Stale"));
    expectRegistered(serverPath);
}

TEST_F(RegistrationTest, WithoutTheRegistrarTheUserIsToldAndNothingIsRegistered)
{
    ASSERT_EQ(S_OK, engine.call("DllUnregisterServer"));
    const std::wstring expected = L"Could not create VentoModuleRegistrar object.\n"
                                  L"Modules in this server will not be registered.\n"
                                  L"HRESULT = 0x80040154"; // REGDB_E_CLASSNOTREG

    MessageBoxWatcher watcher;
    EXPECT_EQ(SELFREG_E_CLASS, server.call("DllRegisterServer"));
    auto boxes = watcher.stop();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(expected, boxes[0].text);
    EXPECT_EQ(L"fwdtransform", boxes[0].caption);
    expectUnregistered();
}

TEST_F(RegistrationTest, WithoutTheRegistrarUnregistrationTellsTheSameAndRemovesNothing)
{
    ASSERT_EQ(S_OK, server.call("DllRegisterServer"));
    ASSERT_EQ(S_OK, engine.call("DllUnregisterServer"));

    MessageBoxWatcher watcher;
    EXPECT_EQ(SELFREG_E_CLASS, server.call("DllUnregisterServer"));
    auto boxes = watcher.stop();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"Could not create VentoModuleRegistrar object.\n"
              L"Modules in this server will not be registered.\n"
              L"HRESULT = 0x80040154",
              boxes[0].text);
    expectRegistered(serverPath);
}

// Stands in for the engine's registrar, in this apartment only: records the calls, fails on request.
class FakeRegistrar : public modkit::ObjectRoot, public modkit::Dispatch<IModuleRegistrar>, public IClassFactory {
public:
    using Interfaces = modkit::InterfaceList<IModuleRegistrar, IClassFactory>;

    STDMETHODIMP RegisterModule(BSTR name, CLSID clsid) noexcept override
    {
        registered = modkit::bstrView(name);
        registeredClass = clsid;
        return failure;
    }
    STDMETHODIMP UnregisterModule(BSTR name) noexcept override
    {
        unregistered = modkit::bstrView(name);
        return failure;
    }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** out) noexcept override
    {
        return static_cast<IClassFactory*>(this)->QueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL) noexcept override { return S_OK; }

    HRESULT failure = S_OK;
    std::wstring registered, unregistered;
    CLSID registeredClass = CLSID_NULL;
};

class StandInRegistrar {
public:
    explicit StandInRegistrar(HRESULT failure)
    {
        modkit::check(modkit::createInstance<FakeRegistrar>(nullptr, IID_IClassFactory,
                                                            reinterpret_cast<void**>(factory_.GetAddressOf())));
        fake = static_cast<FakeRegistrar*>(factory_.Get());
        fake->failure = failure;
        modkit::check(CoRegisterClassObject(CLSID_VentoModuleRegistrar, factory_.Get(), CLSCTX_INPROC_SERVER,
                                            REGCLS_MULTIPLEUSE, &cookie_));
    }
    ~StandInRegistrar() { CoRevokeClassObject(cookie_); }
    FakeRegistrar* fake; // lives as long as this object

private:
    ComPtr<IClassFactory> factory_;
    DWORD cookie_ = 0;
};

TEST_F(RegistrationTest, ARegistrarThatRefusesTheModuleStillGetsTheServerRegisteredAndReported)
{
    {
        StandInRegistrar registrar(E_ACCESSDENIED);
        EXPECT_EQ(E_ACCESSDENIED, server.call("DllRegisterServer")) << "the refusal is reported";
        EXPECT_EQ(L"FFT", registrar.fake->registered);
        EXPECT_TRUE(IsEqualCLSID(CLSID_FFTModule, registrar.fake->registeredClass));
    }
    expectServerKeys(serverPath);
    EXPECT_EQ(L"", catalogued(L"FFT")) << "the stand-in kept the real catalogue untouched";

    StandInRegistrar accepting(S_OK);
    EXPECT_EQ(S_OK, server.call("DllRegisterServer"));
    EXPECT_EQ(S_OK, server.call("DllUnregisterServer"));
    expectUnregistered();
}

TEST_F(RegistrationTest, ARegistrarThatCannotRemoveTheModuleIsReportedAfterTheKeysAreRemoved)
{
    ASSERT_EQ(S_OK, server.call("DllRegisterServer"));
    {
        StandInRegistrar registrar(E_ACCESSDENIED);
        EXPECT_EQ(E_ACCESSDENIED, server.call("DllUnregisterServer"));
        EXPECT_EQ(L"FFT", registrar.fake->unregistered);
    }
    EXPECT_EQ(moduleClsid, catalogued(L"FFT")) << "the stand-in kept the real catalogue untouched";
    vento::uncatalogueModule(L"FFT");
    expectUnregistered();
}

// A copy of the server file in a folder of its own: `root` and the folders nested in it are made
// for the copy and removed with it. Long paths go through the "\\?\" form.
class ServerCopy {
public:
    ServerCopy(const std::wstring& source, const std::wstring& root, const std::vector<std::wstring>& nested = {})
    {
        folders_.push_back(root);
        for (const std::wstring& name : nested) folders_.push_back(folders_.back() + L"\\" + name);
        for (const std::wstring& folder : folders_) CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
        path = folders_.back() + L"\\fwdtransform.dll";
        copied = CopyFileW(source.c_str(), (L"\\\\?\\" + path).c_str(), FALSE) != FALSE;
    }
    ~ServerCopy()
    {
        DeleteFileW((L"\\\\?\\" + path).c_str());
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
    }
    ServerCopy(const ServerCopy&) = delete;
    ServerCopy& operator=(const ServerCopy&) = delete;

    std::wstring path;
    bool copied = false;

private:
    std::vector<std::wstring> folders_;
};

TEST_F(RegistrationTest, AQuoteInTheServerPathReachesTheRegistryWhole)
{
    ServerCopy copy(serverPath, L"C:\\vento o'test");
    ASSERT_TRUE(copy.copied);
    ASSERT_EQ(0u, runRegsvr32(L"/s " + inQuotes(copy.path)));
    EXPECT_EQ(copy.path, stringValue(HKEY_CLASSES_ROOT, classKey(classRows[0]) + L"\\InprocServer32"));
    EXPECT_EQ(copy.path, stringValue(HKEY_CLASSES_ROOT, classKey(classRows[1]) + L"\\InprocServer32"));
    EXPECT_EQ(copy.path, stringValue(HKEY_CLASSES_ROOT, typeLibFileKey()));
    EXPECT_EQ(L"C:\\vento o'test\\", stringValue(HKEY_CLASSES_ROOT, typeLibKey() + L"\\HELPDIR"));

    ASSERT_EQ(0u, runRegsvr32(L"/s /u " + inQuotes(copy.path)));
    expectUnregistered();
}

TEST_F(RegistrationTest, AServerPathTooLongToRegisterWholeRegistersNothing)
{
    const std::wstring level(60, L'v');
    ServerCopy copy(serverPath, L"C:\\vento long", {level, level, level, level, level});
    ASSERT_TRUE(copy.copied);
    ASSERT_GT(copy.path.size(), size_t(MAX_PATH));
    Library longServer(copy.path);
    ASSERT_NE(server.handle(), longServer.handle());

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), longServer.call("DllRegisterServer"));
    expectUnregistered();
}

} // namespace
