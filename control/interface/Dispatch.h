// The object model of the automation layer: reference-counted interfaces in
// the shape hosts know (IUnknown, IDispatch), dispatch driven by a type table,
// and the connection point through which events reach the host's sinks.
//
// Argument order: Invoke takes its arguments in the order of the type table,
// first parameter first. (Native automation passes them reversed; this layer
// does not, so a host simply lists them as the method declares them.)
#pragma once

#include "control/interface/Automation.h"
#include "control/interface/TypeTable.h"
#include "control/interface/Variant.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace brimlink::automation {

class Unknown {
public:
    // On success *out holds a pointer to the requested interface type (as
    // void*) with one reference added; on failure it is null.
    virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    virtual ~Unknown() = default;
    // The interfaces an object answers beyond IUnknown; each layer adds its own
    // and asks its base for the rest.
    virtual void* FindInterface(const GUID&) { return nullptr; }
};

class Dispatch : public Unknown {
public:
    // One member name, any letter case: S_OK or DISP_E_UNKNOWNNAME.
    virtual HRESULT GetIDsOfNames(std::u16string_view name, DISPID* id) = 0;
    // args in declaration order (see the top of this file). result may be
    // null; for a method without a result it is set to Empty. On a coercion
    // failure *argError (if given) is the 0-based index of the argument.
    virtual HRESULT Invoke(DISPID id, std::span<const Variant> args, Variant* result,
                           std::size_t* argError) = 0;
};

// Objects created and not yet freed, for DllCanUnloadNow.
std::size_t LiveObjectCount();

namespace detail {
void CountObject(int delta);
}

// Implements the IUnknown part for Base (which derives from Unknown). Created
// only by MakeObject; freed by its last Release.
template <class Base>
class RefCounted : public Base {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) final {
        if (out == nullptr) return E_POINTER;
        *out = iid == IID_IUnknown ? static_cast<Unknown*>(this) : this->FindInterface(iid);
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() final { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release() final {
        const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    template <class... Args>
    explicit RefCounted(Args&&... args) : Base(std::forward<Args>(args)...) { detail::CountObject(+1); }
    ~RefCounted() override { detail::CountObject(-1); }

private:
    std::atomic<std::uint32_t> refs_{1};
};

// Owning interface pointer: one reference per ComPtr.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adds a reference of its own.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    // Takes over a reference the caller already holds.
    static ComPtr Adopt(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
        requires std::is_convertible_v<U*, T*>
    ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.get())) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // QueryInterface into a typed pointer.
    template <class U>
    HRESULT As(const GUID& iid, ComPtr<U>& out) const {
        out.reset();
        if (p_ == nullptr) return E_POINTER;
        void* raw = nullptr;
        const HRESULT hr = p_->QueryInterface(iid, &raw);
        if (Succeeded(hr)) out = ComPtr<U>::Adopt(static_cast<U*>(raw));
        return hr;
    }

private:
    T* p_ = nullptr;
};

// The only place objects are allocated: the reference count starts at 1 and
// belongs to the returned pointer.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
    return ComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

// ---- class factory ------------------------------------------------------------

class ClassFactory : public Unknown {
public:
    // Aggregation is not supported: a non-null outer gives CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(Unknown* outer, const GUID& iid, void** out) = 0;
    virtual HRESULT LockServer(bool lock) = 0;
};

// Locks taken with LockServer and not yet released, for DllCanUnloadNow.
std::size_t ServerLockCount();
// S_OK when no object is alive and no lock is held, else S_FALSE.
HRESULT CanUnloadNow();

namespace detail {
void CountLock(int delta);
}

// Creates one T per request and hands out the requested interface of it.
template <class T>
class ObjectFactory final : public RefCounted<ClassFactory> {
public:
    HRESULT CreateInstance(Unknown* outer, const GUID& iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        try {
            // The new object dies with this pointer unless the query below adds a reference.
            ComPtr<T> object = MakeObject<T>();
            return object->QueryInterface(iid, out);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT LockServer(bool lock) override {
        detail::CountLock(lock ? +1 : -1);
        return S_OK;
    }

protected:
    void* FindInterface(const GUID& iid) override {
        return iid == IID_IClassFactory ? static_cast<ClassFactory*>(this) : nullptr;
    }
};

// ---- dispatch by table ------------------------------------------------------

template <class T>
struct AutomationType;
template <>
struct AutomationType<void> {
    static constexpr VariantType kType = VariantType::Empty;
};
template <>
struct AutomationType<std::int16_t> {
    static constexpr VariantType kType = VariantType::I2;
    static std::int16_t From(const Variant& v) { return v.I2(); }
};
template <>
struct AutomationType<std::int32_t> {
    static constexpr VariantType kType = VariantType::I4;
    static std::int32_t From(const Variant& v) { return v.I4(); }
};
template <>
struct AutomationType<std::uint32_t> {
    static constexpr VariantType kType = VariantType::UI4;
    static std::uint32_t From(const Variant& v) { return v.UI4(); }
};
template <>
struct AutomationType<float> {
    static constexpr VariantType kType = VariantType::R4;
    static float From(const Variant& v) { return v.R4(); }
};
template <>
struct AutomationType<std::u16string> {
    static constexpr VariantType kType = VariantType::BSTR;
    static const std::u16string& From(const Variant& v) { return v.Bstr(); }
};

// One entry per table member: how to call the C++ method that implements it.
template <class Target>
struct MethodBinding {
    DISPID dispid;
    // args are already coerced to the member's parameter types.
    HRESULT (*call)(Target& target, std::span<const Variant> args, Variant* result);
    VariantType result;
    std::array<VariantType, kMaxParams> params;
    std::size_t paramCount;
};

namespace detail {

template <class M>
struct MemberFunction;
template <class C, class R, class... A>
struct MemberFunction<R (C::*)(A...)> {
    using Class = C;
    using Result = R;
    using Args = std::tuple<std::remove_cvref_t<A>...>;
};

template <auto Member, std::size_t... I>
HRESULT CallMember(typename MemberFunction<decltype(Member)>::Class& target, std::span<const Variant> args,
                   Variant* result, std::index_sequence<I...>) {
    using F = MemberFunction<decltype(Member)>;
    using R = typename F::Result;
    if constexpr (std::is_void_v<R>) {
        (target.*Member)(AutomationType<std::tuple_element_t<I, typename F::Args>>::From(args[I])...);
        if (result) *result = Variant();
    } else {
        R value = (target.*Member)(AutomationType<std::tuple_element_t<I, typename F::Args>>::From(args[I])...);
        if (result) *result = Variant(std::move(value));
    }
    return S_OK;
}

// Checks the argument count, coerces each argument to its parameter type and
// gives the member's position in the table.
HRESULT PrepareCall(const InterfaceInfo& info, DISPID id, std::span<const Variant> args, std::size_t& index,
                    std::vector<Variant>& coerced, std::size_t* argError);

}  // namespace detail

template <auto Member>
constexpr auto Bind(DISPID dispid) {
    using F = detail::MemberFunction<decltype(Member)>;
    using Target = typename F::Class;
    constexpr std::size_t n = std::tuple_size_v<typename F::Args>;
    static_assert(n <= kMaxParams);
    MethodBinding<Target> b{};
    b.dispid = dispid;
    b.call = [](Target& t, std::span<const Variant> args, Variant* result) {
        return detail::CallMember<Member>(t, args, result, std::make_index_sequence<n>{});
    };
    b.result = AutomationType<typename F::Result>::kType;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((b.params[I] = AutomationType<std::tuple_element_t<I, typename F::Args>>::kType), ...);
    }(std::make_index_sequence<n>{});
    b.paramCount = n;
    return b;
}

// True when bindings[i] implements info.methods[i] with the same DISPID,
// parameter types and result type, for every i.
template <class Target, std::size_t N>
constexpr bool BindingsMatch(const InterfaceInfo& info, const std::array<MethodBinding<Target>, N>& bindings) {
    if (info.methods.size() != N) return false;
    for (std::size_t i = 0; i < N; ++i) {
        const MethodInfo& m = info.methods[i];
        const MethodBinding<Target>& b = bindings[i];
        if (b.dispid != m.dispid || b.result != m.result || b.paramCount != m.params.size()) return false;
        for (std::size_t p = 0; p < b.paramCount; ++p)
            if (b.params[p] != m.params[p].type) return false;
    }
    return true;
}

// Invoke for any object whose C++ interface is bound to a table entry by entry.
template <class Target, std::size_t N>
HRESULT InvokeByTable(const InterfaceInfo& info, const std::array<MethodBinding<Target>, N>& bindings,
                      Target& target, DISPID id, std::span<const Variant> args, Variant* result,
                      std::size_t* argError) {
    std::size_t index = 0;
    std::vector<Variant> coerced;
    const HRESULT hr = detail::PrepareCall(info, id, args, index, coerced, argError);
    if (Failed(hr)) return hr;
    if (index >= N) return DISP_E_MEMBERNOTFOUND;
    try {
        return bindings[index].call(target, coerced, result);
    } catch (...) {
        // Nothing may escape to a host.
        return DISP_E_EXCEPTION;
    }
}

// IDispatch for Methods, described by Info and bound by Bindings. An object is
// RefCounted<TableDispatch<...>> and implements the virtual methods of Methods.
template <class Methods, const InterfaceInfo& Info, const auto& Bindings>
class TableDispatch : public Dispatch, public Methods {
    static_assert(BindingsMatch(Info, Bindings), "the bindings do not follow the type table");

public:
    HRESULT GetIDsOfNames(std::u16string_view name, DISPID* id) override { return GetIdOfName(Info, name, id); }
    HRESULT Invoke(DISPID id, std::span<const Variant> args, Variant* result, std::size_t* argError) override {
        return InvokeByTable(Info, Bindings, static_cast<Methods&>(*this), id, args, result, argError);
    }

protected:
    void* FindInterface(const GUID& iid) override {
        if (iid == IID_IDispatch || iid == Info.iid) return static_cast<Dispatch*>(this);
        return Dispatch::FindInterface(iid);
    }
};

// ---- events -----------------------------------------------------------------

// The source side of one event interface. Sinks are dispatch objects; an
// event is an Invoke on each of them with the event's DISPID.
class ConnectionPoint {
public:
    explicit ConnectionPoint(const GUID& iid) : iid_(iid) {}
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    const GUID& InterfaceId() const { return iid_; }

    // The sink must answer the event interface or IDispatch. Cookies start at
    // 1 and are never reused.
    HRESULT Advise(Unknown* sink, std::uint32_t* cookie);
    // CONNECT_E_NOCONNECTION for a cookie that is not advised (any more).
    HRESULT Unadvise(std::uint32_t cookie);
    void UnadviseAll();
    std::size_t SinkCount() const { return sinks_.size(); }

    // Invokes every sink advised when the call starts and still advised when
    // its turn comes; a sink advised during delivery gets the next event. A
    // sink may unadvise itself or others, or fire again, from inside its
    // handler. Returns the number of sinks invoked.
    std::size_t Fire(DISPID id, std::span<const Variant> args);

private:
    struct Connection {
        std::uint32_t cookie;
        ComPtr<Dispatch> sink;
    };
    bool IsAdvised(std::uint32_t cookie) const;

    GUID iid_;
    std::vector<Connection> sinks_;
    std::uint32_t nextCookie_ = 1;
};

}  // namespace brimlink::automation
