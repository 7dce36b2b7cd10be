#include "EntryState.h"

#include "engine/LockedFile.h"
#include "platform/Platform.h"

namespace corva::vault {

EntryState CheckEntry(const std::wstring& path, const std::string& password) {
    corva::LockedFileHeader header{};
    int64_t length = 0;
    if (!IsLockedFile(path) || !plat::FileSize(path, &length) || !loadheader(path.c_str(), &header, nullptr))
        return EntryState::Damaged;
    // The body holds floor(payload / 16) + 1 blocks: a file cut short or
    // grown at a block boundary still fails here.
    constexpr uint64_t kBlock = 16;
    const uint64_t body = static_cast<uint64_t>(length) - corva::kHeaderSize;
    if (header.payloadSize > (UINT64_MAX - kBlock) || body != (header.payloadSize / kBlock + 1) * kBlock)
        return EntryState::Damaged;
    return corva::HeaderMatchesPassword(password.c_str(), header) ? EntryState::Opens : EntryState::OtherPassword;
}

const wchar_t* EntryMark(EntryState state) {
    switch (state) {
    case EntryState::Opens: return L"";
    case EntryState::OtherPassword: return L" (other password)";
    case EntryState::Damaged: return L" (damaged)";
    }
    return L"";
}

}  // namespace corva::vault
