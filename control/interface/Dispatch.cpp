#include "control/interface/Dispatch.h"

#include <algorithm>

namespace brimlink::automation {

namespace {
std::atomic<std::ptrdiff_t> g_liveObjects{0};
std::atomic<std::ptrdiff_t> g_serverLocks{0};
}  // namespace

std::size_t LiveObjectCount() { return static_cast<std::size_t>(g_liveObjects.load()); }

std::size_t ServerLockCount() {
    // An unbalanced unlock does not make the count wrap.
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(g_serverLocks.load(), 0));
}

HRESULT CanUnloadNow() { return LiveObjectCount() == 0 && ServerLockCount() == 0 ? S_OK : S_FALSE; }

namespace detail {

void CountObject(int delta) { g_liveObjects.fetch_add(delta); }
void CountLock(int delta) { g_serverLocks.fetch_add(delta); }

HRESULT PrepareCall(const InterfaceInfo& info, DISPID id, std::span<const Variant> args, std::size_t& index,
                    std::vector<Variant>& coerced, std::size_t* argError) {
    const MethodInfo* method = FindMethod(info, id);
    if (method == nullptr) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != method->params.size()) return DISP_E_BADPARAMCOUNT;
    coerced.resize(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        const HRESULT hr = args[i].CoerceTo(method->params[i].type, coerced[i]);
        if (Failed(hr)) {
            if (argError) *argError = i;
            return hr;
        }
    }
    index = static_cast<std::size_t>(method - info.methods.data());
    return S_OK;
}

}  // namespace detail

HRESULT ConnectionPoint::Advise(Unknown* sink, std::uint32_t* cookie) {
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    *cookie = 0;
    ComPtr<Unknown> source(sink);
    ComPtr<Dispatch> dispatch;
    if (Failed(source.As(iid_, dispatch)) && Failed(source.As(IID_IDispatch, dispatch)))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie_++;
    sinks_.push_back({*cookie, std::move(dispatch)});
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t cookie) {
    const auto it = std::find_if(sinks_.begin(), sinks_.end(),
                                 [&](const Connection& c) { return c.cookie == cookie; });
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    // The sink may be the one being called right now: release it only after
    // it has left the list, so its release cannot re-enter a half-updated list.
    ComPtr<Dispatch> released = std::move(it->sink);
    sinks_.erase(it);
    return S_OK;
}

void ConnectionPoint::UnadviseAll() {
    std::vector<Connection> released;
    released.swap(sinks_);
}

bool ConnectionPoint::IsAdvised(std::uint32_t cookie) const {
    return std::any_of(sinks_.begin(), sinks_.end(), [&](const Connection& c) { return c.cookie == cookie; });
}

std::size_t ConnectionPoint::Fire(DISPID id, std::span<const Variant> args) {
    // The copy holds a reference to each sink, so a handler that unadvises a
    // sink (itself included) cannot free it while it is still to be called.
    const std::vector<Connection> snapshot = sinks_;
    std::size_t delivered = 0;
    for (const Connection& c : snapshot) {
        if (!IsAdvised(c.cookie)) continue;
        Variant ignored;
        c.sink->Invoke(id, args, &ignored, nullptr);
        ++delivered;
    }
    return delivered;
}

}  // namespace brimlink::automation
