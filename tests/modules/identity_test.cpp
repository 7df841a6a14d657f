// What every server of the suite does alike, checked over the whole identity table: the module's
// description and names, the interfaces it answers and refuses, the page it names to the engine and
// when, its picture and help page, its class factories and unloading. How every operation ends when
// an engine call fails is failure_sweep_test.cpp's. A new server joins by being built
// (server_identities.h).
#include "module_test.h"
#include <ocidl.h>
#include <olectl.h>
#include <map>
#include <string>
#include <vector>
#include "server_identities.h"

using vento::test::ServerIdentity;

namespace {

// The description each module gives, as its users read it in the catalogue.
const std::map<std::wstring, std::wstring> descriptions = {
    {L"FFT", L"Perform an FFT."},
    {L"iFFT", L"Perform an inverse FFT."},
    {L"Magnitude", L"Takes the log(magintude) of a complex signal."},
    {L"Filter", L"Perform a frequency-domain band-pass filtering function."},
    {L"Convolution", L"Perform 1-dimensional convolution."},
    {L"SignalW", L"Creates Sine, Square, impulse, and white noise signals."},
    {L"GraphWindow", L"Open a window and display a graph of a signal."},
    {L"Sweep", L"Generates a slow sweep signal for use with Signal and Spectrum modules."},
    {L"Spectrum", L"Creates a frequency spectrum given an input signal and it's frequency."},
    {L"FIR", L"Perform a FIR filter function."},
    {L"BMP", L"Read a BMP file to the data connection."},
    {L"Image", L"Open a window and display the image of a video or image signal."},
    {L"Recorder", L"Records and plays back a signal."},
    {L"WAV", L"Play a WAV file."},
    {L"Stream", L"Converts signal sample rates and block sizes."},
    {L"Overlap", L"Makes sequential blocks of samples overlap by a given number of samples."},
    {L"Multiplier", L"Sums any number of input signals."},
};

CLSID guid(const wchar_t* text)
{
    CLSID id{};
    EXPECT_EQ(S_OK, CLSIDFromString(text, &id)) << "not a class id";
    return id;
}

std::wstring dllOf(const ServerIdentity& row) { return std::wstring(row.deliverable) + L".dll"; }

std::string nameOf(const ServerIdentity& row)
{
    std::string name;
    for (const wchar_t* c = row.deliverable; *c; ++c) name += char(*c);
    return name;
}

// Runs `check` on a fresh, initialized module of every built server, each under its name.
template <class Check>
void forEveryModule(Check&& check)
{
    for (const ServerIdentity& row : builtServers) {
        SCOPED_TRACE(nameOf(row));
        ModuleHarness h(dllOf(row).c_str(), guid(row.clsid));
        ASSERT_EQ(S_OK, h.initialize());
        check(row, h);
    }
}

// The site calls the module made after its creation (AttachModule ends the creation).
std::vector<SiteCall> callsAfterCreation(ModuleHarness& h)
{
    std::vector<SiteCall> calls;
    bool created = false;
    for (const vento::CallLogEntry& entry : h.calls().entries()) {
        if (created) calls.push_back(entry.call);
        if (entry.call == SiteCall::AttachModule) created = true;
    }
    return calls;
}

TEST(EveryServer, IsListedWithTheDescriptionItsUsersRead)
{
    ASSERT_GT(std::size(builtServers), 0u);
    forEveryModule([](const ServerIdentity& row, ModuleHarness& h) {
        auto expected = descriptions.find(row.typeName);
        ASSERT_NE(descriptions.end(), expected) << "a new module: give its description above";

        ModuleInfo info{};
        ASSERT_EQ(S_OK, h.module()->GetInfo(&info));
        Bstr author = Bstr::adopt(info.author), description = Bstr::adopt(info.description);
        EXPECT_EQ(expected->second, description.view());
        EXPECT_EQ(L"Vento signal modules", author.view()) << "every module gives the same author";
        EXPECT_EQ(GetModuleHandleW(dllOf(row).c_str()), info.instance);

        Bstr name;
        ASSERT_EQ(S_OK, h.site()->GetModuleName(name.put()));
        EXPECT_EQ(row.typeName, name.view());
        long flags = -1;
        EXPECT_EQ(S_OK, h.module()->GetFlags(&flags));
        EXPECT_EQ(0, flags);
    });
}

TEST(EveryServer, AnswersItsInterfacesWithOneIdentityAndRefusesOthers)
{
    forEveryModule([](const ServerIdentity& row, ModuleHarness& h) {
        ComPtr<IUnknown> identity;
        ASSERT_EQ(S_OK, h.unknown()->QueryInterface(IID_PPV_ARGS(&identity)));
        for (const IID* iid : {&IID_IModule, &IID_IModuleSite, &IID_IDispatch}) {
            ComPtr<IUnknown> answer, back;
            ASSERT_EQ(S_OK, h.unknown()->QueryInterface(*iid, reinterpret_cast<void**>(answer.GetAddressOf())));
            ASSERT_EQ(S_OK, answer.As(&back));
            EXPECT_EQ(identity.Get(), back.Get()) << "one identity";
        }
        ComPtr<IDispatch> own;
        ASSERT_EQ(S_OK, h.unknown()->QueryInterface(guid(row.iid), reinterpret_cast<void**>(own.GetAddressOf())));
        UINT typeInfos = 0;
        EXPECT_EQ(S_OK, own->GetTypeInfoCount(&typeInfos));
        EXPECT_EQ(1u, typeInfos) << "IDispatch is answered from the server's type library";
        ComPtr<IModuleSite> site;
        ASSERT_EQ(S_OK, h.unknown()->QueryInterface(IID_PPV_ARGS(&site)));
        EXPECT_EQ(h.site(), site.Get()) << "IModuleSite is the core's";

        for (const IID* iid : {&IID_IPropertyPage, &IID_IModulePage, &IID_IClassFactory, &IID_IPersist, &IID_IModuleUI}) {
            void* out = reinterpret_cast<void*>(0xdeadbeef);
            EXPECT_EQ(E_NOINTERFACE, h.unknown()->QueryInterface(*iid, &out));
            EXPECT_EQ(nullptr, out);
        }
    });
}

TEST(EveryServer, NamesItsPageFirstInInitializeOrNotAtAll)
{
    forEveryModule([](const ServerIdentity& row, ModuleHarness& h) {
        std::vector<SiteCall> calls = callsAfterCreation(h);
        if (!row.announcesPage) {
            EXPECT_FALSE(h.core().controlPage().has_value());
            return;
        }
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(SiteCall::SetControlPage, calls.front()) << "before the pins and the first document";
        ASSERT_TRUE(h.core().controlPage().has_value());
        EXPECT_TRUE(IsEqualCLSID(guid(row.pageClsid), *h.core().controlPage()));
        EXPECT_EQ(row.localOnly, h.core().controlPageLocalOnly());
    });
}

TEST(EveryServer, HandsOutItsPictureAndHelpPageAndTakesNoStoreQuietly)
{
    forEveryModule([](const ServerIdentity& row, ModuleHarness& h) {
        ComPtr<IDispatch> picture;
        ASSERT_EQ(S_OK, h.module()->GetIcon(&picture));
        ComPtr<IPicture> asPicture;
        ASSERT_EQ(S_OK, picture.As(&asPicture));
        short type = 0;
        EXPECT_EQ(S_OK, asPicture->get_Type(&type));
        EXPECT_EQ(PICTYPE_BITMAP, type);

        Bstr path;
        ASSERT_EQ(S_OK, h.module()->GetHelpFile(path.put()));
        std::wstring file(path.view());
        std::wstring expected = std::wstring(row.typeName) + L"ModuleHelp.htm";
        ASSERT_GE(file.size(), expected.size());
        EXPECT_EQ(expected, file.substr(file.size() - expected.size()));
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str())) << "written on request";
        ASSERT_TRUE(DeleteFileW(file.c_str()));
        ASSERT_EQ(S_OK, h.module()->GetHelpFile(path.put()));
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str())) << "written again on every request";
        EXPECT_EQ(E_POINTER, h.module()->GetIcon(nullptr));

        EXPECT_EQ(S_OK, h.module()->SaveSettings(nullptr));
        EXPECT_EQ(S_OK, h.module()->LoadSettings(h.unknown())) << "an object that is no store is accepted";
    });
}

TEST(EveryServer, HandsOutFactoriesForBothClassesAndUnloadsOnlyWhenNothingIsHeld)
{
    vento::ComApartment apartment;
    for (const ServerIdentity& row : builtServers) {
        SCOPED_TRACE(nameOf(row));
        vento::ServerLibrary server(vento::programFolder() / dllOf(row));
        EXPECT_EQ(E_POINTER, server.getClassObject(guid(row.clsid), IID_IClassFactory, nullptr));
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, server.getClassObject(guid(row.libid), IID_IClassFactory, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(S_OK, server.call("DllCanUnloadNow"));

        ComPtr<IClassFactory> pages = server.classFactory(guid(row.pageClsid));
        EXPECT_EQ(S_FALSE, server.call("DllCanUnloadNow")) << "a factory held outside keeps the server";
        ComPtr<IPropertyPage> page;
        ASSERT_EQ(S_OK, pages->CreateInstance(nullptr, IID_PPV_ARGS(&page)));
        ComPtr<IModulePage> modulePage;
        EXPECT_EQ(S_OK, page.As(&modulePage));
        EXPECT_EQ(CLASS_E_NOAGGREGATION, pages->CreateInstance(pages.Get(), IID_IPropertyPage, &out));
        pages.Reset();
        EXPECT_EQ(S_FALSE, server.call("DllCanUnloadNow")) << "a page is alive";
        modulePage.Reset();
        page.Reset();
        EXPECT_EQ(S_OK, server.call("DllCanUnloadNow"));

        ComPtr<IClassFactory> modules = server.classFactory(guid(row.clsid));
        EXPECT_EQ(CLASS_E_NOAGGREGATION, modules->CreateInstance(modules.Get(), IID_IModule, &out));
        EXPECT_EQ(nullptr, out);
        ASSERT_EQ(S_OK, modules->LockServer(TRUE));
        modules.Reset();
        EXPECT_EQ(S_FALSE, server.call("DllCanUnloadNow")) << "locked";
        ASSERT_EQ(S_OK, server.getClassObject(guid(row.clsid), IID_PPV_ARGS(&modules)));
        ASSERT_EQ(S_OK, modules->LockServer(FALSE));
        modules.Reset();
        EXPECT_EQ(S_OK, server.call("DllCanUnloadNow"));
    }
}

} // namespace
