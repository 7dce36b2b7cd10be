#include "DialogActivation.h"

#include <string>

#include "Module.h"

namespace corva::shell {

DialogActivation::DialogActivation() {
    const std::wstring path = ModuleFileName();
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.hModule = ModuleHandle();
    request.lpResourceName = MAKEINTRESOURCEW(2);  // the library's own manifest
    context_ = ::CreateActCtxW(&request);
    if (context_ == INVALID_HANDLE_VALUE) return;
    if (!::ActivateActCtx(context_, &cookie_)) cookie_ = 0;
}

DialogActivation::~DialogActivation() {
    if (cookie_) ::DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) ::ReleaseActCtx(context_);
}

}  // namespace corva::shell
