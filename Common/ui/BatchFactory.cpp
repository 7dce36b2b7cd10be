#include "BatchFactory.h"

#include "platform/Platform.h"

namespace corva::ui {

std::unique_ptr<BatchProgress> MakeBatch(BatchKind kind, const std::vector<std::wstring>& paths,
                                         const corva::SecretText& password, const std::wstring& wipeLibrary) {
    std::unique_ptr<BatchProgress> batch;
    switch (kind) {
    case BatchKind::Lock:
        batch = std::make_unique<LockBatch>(paths, password.Text(), nullptr);
        break;
    case BatchKind::Unlock:
        batch = std::make_unique<UnlockBatch>(paths, password.Text(), nullptr);
        break;
    case BatchKind::Shred:
        batch = std::make_unique<ShredBatch>(paths, nullptr, wipeLibrary);
        break;
    }
    if (batch) batch->SetProtectedPaths(plat::OwnProgramFiles());
    return batch;
}

}  // namespace corva::ui
