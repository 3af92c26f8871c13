#include "platform/ado/FaultHook.h"

#include "platform/ado/ConnectionData.h"

namespace ado {

namespace {
std::function<void(const CallInfo&)>& hook() {
    static std::function<void(const CallInfo&)> h;
    return h;
}
} // namespace

bool detail::faultHookInstalled = false;

void detail::callFaultHook(const CallInfo& info) {
    if (hook()) hook()(info);
}

void setFaultHook(std::function<void(const CallInfo&)> h) {
    hook() = std::move(h);
    detail::faultHookInstalled = bool(hook());
}

} // namespace ado
