#include "ComSupport.h"

#include <shlwapi.h>

#include "Corvastine.h"
#include "Guids.h"

namespace corva::shell {

std::atomic<long> ClassFactory::serverLocks_{0};

namespace {
constexpr ClassEntry kClasses[] = {{&kCorvastineClsid, &Corvastine::Create}};
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return Guarded([&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        for (const ClassEntry& entry : kClasses) {
            if (!::IsEqualCLSID(clsid, *entry.clsid)) continue;
            auto* factory = new ClassFactory(entry.create);
            HRESULT hr = factory->QueryInterface(iid, object);
            factory->Release();
            return hr;
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** object) {
    static const QITAB kInterfaces[] = {
        QITABENT(ClassFactory, IClassFactory),
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, iid, object);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return Guarded([&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, object);
    });
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        ModuleAddRef();
        ++serverLocks_;
    } else {
        // An unlock without its lock must not count the module below its
        // live objects (it could then be unloaded under them).
        if (serverLocks_.load() == 0) return E_UNEXPECTED;
        --serverLocks_;
        ModuleRelease();
    }
    return S_OK;
}

}  // namespace corva::shell
