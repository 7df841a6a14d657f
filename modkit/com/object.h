#pragma once
// The COM object model shared by module classes, property pages and the engine's objects.
//
// A class derives from ObjectRoot and names the interfaces it answers in `using Interfaces =
// InterfaceList<...>`; Object<T> (stand-alone) or Aggregated<T> (inner object of an outer
// unknown) supplies IUnknown from that list. Nobody writes QueryInterface, AddRef or Release.
//
// Hooks a class may define (found by name, not virtual):
//   HRESULT FinalConstruct()           fallible set-up, runs once the object has its identity
//   void FinalRelease()                runs at the last Release, before the destructor, inside the
//                                       error boundary (what it throws ends it, nothing more)
//   HRESULT QueryExtraInterface(REFIID, void**)   interfaces answered by someone else (an inner
//                                       object); the answer carries its own reference
//   void OnReferenceCount(ULONG)       sees the count after every AddRef and Release but the last
// and one option:
//   static constexpr bool holdsServerLock = false;   the object does not keep the server loaded
//                                       (a cached class factory: its callers' references do)
#include <windows.h>
#include <unknwn.h>
#include <atomic>
#include <new>
#include <utility>
#include <wrl/client.h>
#include "error.h"

namespace modkit {

// Answer `I` with the pointer of `Via` (a dual interface answering IDispatch, say).
template <class I, class Via>
struct As {};

namespace detail {
template <class E>
struct EntryTraits {
    static const IID& iid() { return __uuidof(E); }
    template <class Self>
    static void* cast(Self* self) { return static_cast<E*>(self); }
};
template <class I, class Via>
struct EntryTraits<As<I, Via>> {
    static const IID& iid() { return __uuidof(I); }
    template <class Self>
    static void* cast(Self* self) { return static_cast<I*>(static_cast<Via*>(self)); }
};
} // namespace detail

template <class First, class... Rest>
struct InterfaceList {
    // The identity pointer: every IUnknown query answers this.
    template <class Self>
    static IUnknown* identity(Self* self) { return static_cast<IUnknown*>(detail::EntryTraits<First>::cast(self)); }

    template <class Self>
    static void* find(Self* self, REFIID iid)
    {
        void* found = nullptr;
        auto probe = [&](auto* tag) {
            using E = std::remove_pointer_t<decltype(tag)>;
            if (!found && IsEqualIID(iid, detail::EntryTraits<E>::iid())) found = detail::EntryTraits<E>::cast(self);
        };
        probe(static_cast<First*>(nullptr));
        (probe(static_cast<Rest*>(nullptr)), ...);
        return found;
    }
};

// Server-wide count of live objects and locks; DllCanUnloadNow answers from it.
long serverLockCount() noexcept;
void serverLock() noexcept;
void serverUnlock() noexcept;

class ObjectRoot {
public:
    // The unknown that owns this object's identity: its own, or the outer one when aggregated.
    IUnknown* controllingUnknown() const noexcept { return controller_; }

    static constexpr bool holdsServerLock = true;
    HRESULT FinalConstruct() noexcept { return S_OK; }
    void FinalRelease() noexcept {}
    void OnReferenceCount(ULONG) noexcept {}
    HRESULT QueryExtraInterface(REFIID, void** out) noexcept
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }

protected:
    ObjectRoot() = default;
    ~ObjectRoot() = default;

private:
    template <class>
    friend class Object;
    template <class>
    friend class Aggregated;
    IUnknown* controller_ = nullptr;
};

// The FinalRelease hook, inside the error boundary: nothing it throws leaves Release.
template <class T>
void finalRelease(T* self) noexcept
{
    boundary([self] { self->FinalRelease(); });
}

// Answers a query from the class's interface table, then from its QueryExtraInterface hook.
template <class T>
HRESULT queryInterface(T* self, REFIID iid, void** out) noexcept
{
    if (!out) return E_POINTER;
    void* p = IsEqualIID(iid, IID_IUnknown) ? T::Interfaces::identity(self) : T::Interfaces::find(self, iid);
    if (!p) return self->QueryExtraInterface(iid, out);
    static_cast<IUnknown*>(p)->AddRef();
    *out = p;
    return S_OK;
}

// A stand-alone object. Holds one count of the server lock for as long as it lives.
template <class T>
class Object final : public T {
public:
    template <class... Args>
    explicit Object(Args&&... args) : T(std::forward<Args>(args)...)
    {
        this->controller_ = T::Interfaces::identity(static_cast<T*>(this));
        if constexpr (T::holdsServerLock) serverLock();
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override
    {
        return queryInterface(static_cast<T*>(this), iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override
    {
        ULONG n = ++refs_;
        this->OnReferenceCount(n);
        return n;
    }
    STDMETHODIMP_(ULONG) Release() noexcept override
    {
        ULONG n = --refs_;
        if (n != 0) {
            this->OnReferenceCount(n);
            return n;
        }
        refs_ = 1; // stable while tearing down: FinalRelease may hand out and drop references
        finalRelease(static_cast<T*>(this));
        delete this;
        return 0;
    }

private:
    ~Object()
    {
        if constexpr (T::holdsServerLock) serverUnlock();
    }
    std::atomic<ULONG> refs_{1};
};

// The same class as the inner object of an aggregate: its interfaces delegate IUnknown to the
// outer object; the outer holds the non-delegating unknown below.
template <class T>
class Aggregated final : public T {
public:
    template <class... Args>
    explicit Aggregated(IUnknown* outer, Args&&... args) : T(std::forward<Args>(args)...), inner_(this)
    {
        this->controller_ = outer;
        serverLock();
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override
    {
        return this->controller_->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return this->controller_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return this->controller_->Release(); }

    IUnknown* innerUnknown() noexcept { return &inner_; }

private:
    class Inner final : public IUnknown {
    public:
        explicit Inner(Aggregated* owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override
        {
            if (!out) return E_POINTER;
            if (IsEqualIID(iid, IID_IUnknown)) {
                *out = static_cast<IUnknown*>(this);
                AddRef();
                return S_OK;
            }
            return queryInterface(static_cast<T*>(owner_), iid, out); // counts on the outer object
        }
        STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++refs_; }
        STDMETHODIMP_(ULONG) Release() noexcept override
        {
            ULONG n = --refs_;
            if (n == 0) {
                refs_ = 1;
                finalRelease(static_cast<T*>(owner_));
                delete owner_;
            }
            return n;
        }

    private:
        Aggregated* owner_;
        std::atomic<ULONG> refs_{1};
    };

    ~Aggregated() { serverUnlock(); }
    Inner inner_;
};

// Creates T, stand-alone or as the inner object of `outer`, and answers `iid` on it. An outer object
// may ask only for IUnknown (it must hold the inner, non-delegating unknown). `args` go to T's
// constructor.
template <class T, class... Args>
HRESULT createInstanceWith(IUnknown* outer, REFIID iid, void** out, Args&&... args) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return boundary([&]() -> HRESULT {
        if (outer) {
            auto* obj = new Aggregated<T>(outer, std::forward<Args>(args)...);
            IUnknown* inner = obj->innerUnknown();
            HRESULT hr = obj->FinalConstruct();
            if (SUCCEEDED(hr)) {
                *out = inner;
                return S_OK; // the initial count of the inner object goes to the caller
            }
            inner->Release();
            return hr;
        }
        auto* obj = new Object<T>(std::forward<Args>(args)...);
        HRESULT hr = obj->FinalConstruct();
        if (SUCCEEDED(hr)) hr = obj->QueryInterface(iid, out);
        obj->Release();
        return hr;
    });
}

template <class T>
HRESULT createInstance(IUnknown* outer, REFIID iid, void** out) noexcept
{
    return createInstanceWith<T>(outer, iid, out);
}

// Creates a stand-alone T with constructor arguments; throws what FinalConstruct fails with.
template <class T, class... Args>
Microsoft::WRL::ComPtr<T> make(Args&&... args)
{
    Microsoft::WRL::ComPtr<T> result;
    auto* obj = new Object<T>(std::forward<Args>(args)...);
    // Takes the initial count. Not Attach(): mingw-w64's ComPtr::Attach adds a reference (WRL's does not).
    *result.ReleaseAndGetAddressOf() = obj;
    check(obj->FinalConstruct());
    return result;
}

} // namespace modkit
