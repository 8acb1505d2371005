// Result codes, interface identifiers and member identifiers of the automation
// layer. The numeric values are the ones hosts of the control expect, so they
// must never change.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brimlink::automation {

using HRESULT = std::int32_t;
using DISPID = std::int32_t;

constexpr HRESULT MakeResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003u);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeResult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeResult(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeResult(0x80020003u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeResult(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeResult(0x80020006u);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeResult(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeResult(0x8002000Au);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeResult(0x8002000Eu);
inline constexpr HRESULT SELFREG_E_TYPELIB = MakeResult(0x80040200u);
inline constexpr HRESULT SELFREG_E_CLASS = MakeResult(0x80040201u);
// Connection-point codes live in the same interface-specific range as the
// self-registration codes, so CONNECT_E_NOCONNECTION equals SELFREG_E_TYPELIB
// numerically; the interface that returns a code decides its meaning.
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeResult(0x80040200u);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeResult(0x80040202u);

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// "0x80020005" style text for error messages and traces.
std::string FormatResult(HRESULT hr);

struct GUID {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", either letter case; nothing
    // else is accepted (no missing braces, no blanks).
    static std::optional<GUID> Parse(std::string_view text);
    // Upper-case hexadecimal with braces.
    std::string ToString() const;
};

// For identifiers written in code; a malformed literal fails to compile when
// used in a constant expression.
consteval GUID GuidLiteral(std::string_view text) {
    auto hex = [&](std::size_t pos, std::size_t count) {
        std::uint32_t v = 0;
        for (std::size_t i = pos; i < pos + count; ++i) {
            const char c = text[i];
            std::uint32_t d = 0;
            if (c >= '0' && c <= '9') d = static_cast<std::uint32_t>(c - '0');
            else if (c >= 'A' && c <= 'F') d = static_cast<std::uint32_t>(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f') d = static_cast<std::uint32_t>(c - 'a' + 10);
            else throw "bad GUID literal";
            v = v * 16 + d;
        }
        return v;
    };
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        throw "bad GUID literal";
    GUID g;
    g.data1 = hex(1, 8);
    g.data2 = static_cast<std::uint16_t>(hex(10, 4));
    g.data3 = static_cast<std::uint16_t>(hex(15, 4));
    g.data4[0] = static_cast<std::uint8_t>(hex(20, 2));
    g.data4[1] = static_cast<std::uint8_t>(hex(22, 2));
    for (std::size_t i = 0; i < 6; ++i) g.data4[2 + i] = static_cast<std::uint8_t>(hex(25 + 2 * i, 2));
    return g;
}

inline constexpr GUID IID_IUnknown = GuidLiteral("{00000000-0000-0000-C000-000000000046}");
inline constexpr GUID IID_IDispatch = GuidLiteral("{00020400-0000-0000-C000-000000000046}");
inline constexpr GUID IID_IClassFactory = GuidLiteral("{00000001-0000-0000-C000-000000000046}");
inline constexpr GUID IID_IConnectionPoint = GuidLiteral("{B196B286-BAB4-101A-B69C-00AA00342D49}");

}  // namespace brimlink::automation
