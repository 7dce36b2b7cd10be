// The small COM machinery the library needs in place of a template
// library: a guard that keeps exceptions inside a COM method, the
// reference-count base every object of the library uses (ui/RefCounted.h,
// holding the module while the object lives), and the class-object table
// with its one generic factory.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <new>

#include "Module.h"
#include "ui/RefCounted.h"

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

// The base of every COM object of the library: counted references, and the
// module kept loaded while the object lives.
template <typename... Interfaces>
using LibraryObject = corva::ui::RefCounted<ModuleReference, Interfaces...>;

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
class ClassFactory final : public LibraryObject<IClassFactory> {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ~ClassFactory() override = default;
    CreateFunction create_;
    static std::atomic<long> serverLocks_;  // LockServer(TRUE) calls not yet undone
};

}  // namespace corva::shell
