// The small COM machinery the library needs in place of a template
// library: a guard that keeps exceptions inside a COM method, a reference
// count that also holds the module, and the class-object table with its one
// generic factory.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <new>

#include "Module.h"

namespace corva::shell {

// Runs a COM method body; nothing thrown leaves it.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// An atomic reference count starting at 1; the object is deleted when it
// drops to 0. The module stays loaded while the object lives.
class RefCount {
public:
    ULONG AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&count_)); }
    // Returns the new count; the caller deletes the object at 0.
    ULONG Release() { return static_cast<ULONG>(::InterlockedDecrement(&count_)); }

private:
    volatile LONG count_ = 1;
    ModuleReference module_;
};

// Creates a new object of a class and queries it for an interface.
using CreateFunction = HRESULT (*)(REFIID iid, void** object);

struct ClassEntry {
    const CLSID* clsid;
    CreateFunction create;
};

// The class objects of the library; CLASS_E_CLASSNOTAVAILABLE for any other
// class.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

// The factory for one class (one per DllGetClassObject call).
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~ClassFactory() = default;
    RefCount refs_;
    CreateFunction create_;
    static std::atomic<long> serverLocks_;  // LockServer(TRUE) calls not yet undone
};

}  // namespace corva::shell
