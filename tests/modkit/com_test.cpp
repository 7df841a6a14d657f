// The COM object model and the error boundary shared by every server and the engine.
#include <gtest/gtest.h>
#include <objbase.h>
#include <stdexcept>
#include <string>
#include <thread>
#include "com/bstr.h"
#include "com/error.h"
#include "com/object.h"

using namespace modkit;
using Microsoft::WRL::ComPtr;

namespace {

int liveProbes = 0;

class Probe : public ObjectRoot, public IPersist {
public:
    using Interfaces = InterfaceList<IPersist>;
    Probe() { ++liveProbes; }
    ~Probe() { --liveProbes; }
    HRESULT FinalConstruct() noexcept { return failConstruct ? E_ACCESSDENIED : S_OK; }
    STDMETHODIMP GetClassID(CLSID* id) noexcept override
    {
        *id = CLSID_NULL;
        return S_OK;
    }
    static inline bool failConstruct = false;
};

// A minimal aggregating outer object: holds the inner unknown, answers IUnknown itself.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return --refs; }
    ULONG refs = 1;
    IUnknown* inner = nullptr;
};

ULONG refCount(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

class ComObjects : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override
    {
        Probe::failConstruct = false;
        CoUninitialize();
    }
};

TEST_F(ComObjects, StandAloneObjectHasOneIdentityAndDiesAtLastRelease)
{
    long locksBefore = serverLockCount();
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, createInstance<Probe>(nullptr, IID_IPersist, reinterpret_cast<void**>(&persist)));
    EXPECT_EQ(1, liveProbes);
    EXPECT_EQ(locksBefore + 1, serverLockCount());
    EXPECT_EQ(1u, refCount(persist));

    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    ASSERT_EQ(S_OK, persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)));
    ASSERT_EQ(S_OK, persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)));
    EXPECT_EQ(a, b);
    EXPECT_EQ(3u, refCount(persist));
    a->Release();
    b->Release();

    void* poisoned = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, persist->QueryInterface(IID_IDispatch, &poisoned));
    EXPECT_EQ(nullptr, poisoned);

    EXPECT_EQ(0u, persist->Release());
    EXPECT_EQ(0, liveProbes);
    EXPECT_EQ(locksBefore, serverLockCount());
}

TEST_F(ComObjects, AggregatedObjectDelegatesToItsOuter)
{
    Outer outer;
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, createInstance<Probe>(&outer, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, liveProbes);

    ASSERT_EQ(S_OK, createInstance<Probe>(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
    EXPECT_EQ(2u, outer.refs) << "the inner interface counts on the outer object";

    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    persist->Release();
    EXPECT_EQ(1u, outer.refs);

    EXPECT_EQ(0u, outer.inner->Release());
    EXPECT_EQ(0, liveProbes);
}

TEST_F(ComObjects, FailedConstructionDestroysTheObject)
{
    Probe::failConstruct = true;
    long locksBefore = serverLockCount();
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_ACCESSDENIED, createInstance<Probe>(nullptr, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, liveProbes);
    EXPECT_EQ(locksBefore, serverLockCount());

    Outer outer;
    EXPECT_EQ(E_ACCESSDENIED, createInstance<Probe>(&outer, IID_IUnknown, &out));
    EXPECT_EQ(0, liveProbes);
    EXPECT_EQ(E_POINTER, createInstance<Probe>(nullptr, IID_IPersist, nullptr));
}

TEST(ErrorBoundary, TranslatesWhatWasThrown)
{
    struct Row {
        const char* what;
        void (*raise)();
        HRESULT expected;
    };
    const Row rows[] = {
        {"ComError", [] { check(E_ACCESSDENIED); }, E_ACCESSDENIED},
        {"bad_alloc", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"invalid_argument", [] { throw std::invalid_argument("x"); }, E_INVALIDARG},
        {"out_of_range", [] { throw std::out_of_range("x"); }, static_cast<HRESULT>(0x8000000BL)},
        {"runtime_error", [] { throw std::runtime_error("x"); }, E_FAIL},
        {"not an exception", [] { throw 42; }, E_FAIL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.expected, boundary([&] { row.raise(); }));
    }
    EXPECT_EQ(S_FALSE, boundary([] { return check(S_FALSE); })) << "success codes pass through";
    EXPECT_EQ(S_OK, boundary([] {}));
}

TEST(ErrorBoundary, MakesTheServerResourcesCurrentAndRestoresThem)
{
    // A caller whose resources are another module's: the boundary must switch and switch back.
    HINSTANCE foreign = GetModuleHandleW(L"kernel32.dll");
    ASSERT_NE(nullptr, foreign);
    ASSERT_NE(serverInstance(), foreign);
    ResourceScope caller(foreign);
    ASSERT_EQ(foreign, resourceInstance());
    HINSTANCE inside = nullptr;
    boundary([&] { inside = resourceInstance(); });
    EXPECT_EQ(serverInstance(), inside);
    EXPECT_EQ(foreign, resourceInstance()) << "the caller's resources are current again";
    EXPECT_EQ(E_FAIL, boundary([] { throw 1; }));
    EXPECT_EQ(foreign, resourceInstance()) << "also after a failure";
}

// The resources live in a TLS slot written in the TEB directly; another thread has its own, and the
// caller's last error survives the boundary (TlsGetValue would have cleared it).
TEST(ErrorBoundary, TheResourceScopeIsPerThreadAndKeepsTheLastError)
{
    HINSTANCE foreign = GetModuleHandleW(L"kernel32.dll");
    ResourceScope caller(foreign);
    HINSTANCE onOtherThread = foreign;
    std::thread([&] { onOtherThread = resourceInstance(); }).join();
    EXPECT_EQ(serverInstance(), onOtherThread);
    SetLastError(1234);
    boundary([] {});
    EXPECT_EQ(1234u, GetLastError());
    EXPECT_EQ(foreign, resourceInstance());
}

TEST(ErrorBoundary, AFailureNamesTheFileAndLineWhereItWasRaised)
{
    const int line = __LINE__ + 1;
    EXPECT_EQ(E_ACCESSDENIED, boundary([] { check(E_ACCESSDENIED); }));
    const Failure& failure = lastFailure();
    EXPECT_EQ(E_ACCESSDENIED, failure.code);
    ASSERT_NE(nullptr, failure.file);
    EXPECT_STREQ("com_test.cpp", failure.file);
    EXPECT_EQ(unsigned(line), failure.line);
    try {
        throwHr(E_POINTER);
    } catch (const ComError& e) {
        const std::string expected = "0x80004003 at com_test.cpp:" + std::to_string(__LINE__ - 2) + " ";
        EXPECT_EQ(0u, std::string(e.what()).find(expected)) << e.what();
    }
    EXPECT_EQ(E_OUTOFMEMORY, boundary([] { throw std::bad_alloc(); }));
    EXPECT_EQ(nullptr, lastFailure().file) << "only raised failures have a place";
    EXPECT_EQ(L"0x80004005", hresultText(E_FAIL));
}

TEST(BstrOwner, KeepsEmbeddedTextAndFreesOnReset)
{
    Bstr s(std::wstring_view(L"a\0b", 3));
    EXPECT_EQ(3u, SysStringLen(s.get()));
    EXPECT_EQ(std::wstring_view(L"a\0b", 3), s.view());
    Bstr moved = std::move(s);
    EXPECT_EQ(nullptr, s.get());
    EXPECT_TRUE(s.empty());
    BSTR raw = moved.release();
    EXPECT_EQ(nullptr, moved.get());
    SysFreeString(raw);
    EXPECT_TRUE(bstrView(nullptr).empty());
}

} // namespace

// Word-at-a-time comparison: every length across the 8-byte steps, a difference at every place.
TEST(SameText, FindsEveryDifferenceAtEveryLength)
{
    for (size_t n = 0; n <= 21; ++n) {
        const std::wstring a(n, L'x');
        std::wstring b = a;
        EXPECT_TRUE(sameText(a, b)) << n;
        EXPECT_FALSE(sameText(a, a + L"x")) << n;
        for (size_t i = 0; i < n; ++i) {
            b[i] = wchar_t(L'x' ^ 0x100); // differs in the character's high byte only
            EXPECT_FALSE(sameText(a, b)) << n << " at " << i;
            b[i] = L'x';
        }
    }
}
