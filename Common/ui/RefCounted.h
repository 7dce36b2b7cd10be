// The one reference-count base of every COM object in the tree (the shell
// extension's handler and class factory, the vault's drag-and-drop
// objects): an atomic count that starts at 1 and deletes the object when
// it drops to 0, one AddRef and Release for all the interfaces the object
// implements; each class answers QueryInterface with QISearch over its own
// QITAB. Hold is kept for as long as the object lives: the shell extension
// passes its module reference, so the library stays loaded under a live
// object; programs pass NoHold. Nothing here throws.
#pragma once

#include <windows.h>

#include <atomic>

namespace corva::ui {

struct NoHold {};

template <typename Hold, typename... Interfaces>
class RefCounted : public Interfaces... {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<ULONG> references_{1};
    Hold hold_;
};

}  // namespace corva::ui
