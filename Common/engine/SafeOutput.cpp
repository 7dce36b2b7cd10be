#include "SafeOutput.h"

namespace corva {

std::wstring TemporaryName(const std::wstring& path) { return plat::TemporaryName(path); }

bool SafeOutput::Open(const std::wstring& path, bool replaceExisting) {
    Abandon();
    target_ = path;
    if (file_.Open(path, plat::File::Mode::CreateNew)) {
        written_ = path;
        open_ = true;
        return true;
    }
    if (file_.LastError() != plat::IoError::Exists || !replaceExisting || plat::IsDirectory(path) ||
        plat::IsLink(path))
        return false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::wstring temp = TemporaryName(path);
        if (temp.empty()) return false;
        if (file_.Open(temp, plat::File::Mode::CreateNew)) {
            written_ = temp;
            open_ = true;
            return true;
        }
        if (file_.LastError() != plat::IoError::Exists) return false;
    }
    return false;
}

bool SafeOutput::Commit(bool flush) {
    if (!open_) return false;
    bool ok = (!flush || file_.Flush()) && file_.Close();
    if (ok && written_ != target_) ok = plat::RenameReplacing(written_, target_);
    else if (ok && flush) plat::SyncParentFolder(target_);
    if (!ok) {
        Abandon();
        return false;
    }
    open_ = false;
    return true;
}

void SafeOutput::Abandon() {
    if (!open_) return;
    file_.Close();
    plat::RemoveFile(written_);
    open_ = false;
}

}  // namespace corva
