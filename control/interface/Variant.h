// Automation values: the five types the control's interfaces use, and the
// coercions a dispatch call applies to turn a host's argument into the
// parameter type of the method.
#pragma once

#include "control/interface/Automation.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace brimlink::automation {

// Values are the automation type tags, so they can be traced and compared
// with what other hosts print.
enum class VariantType : std::uint16_t {
    Empty = 0,
    I2 = 2,
    I4 = 3,
    R4 = 4,
    BSTR = 8,
    UI4 = 19,
};

// "I2", "I4", "UI4", "R4", "BSTR", "EMPTY".
std::string_view TypeName(VariantType type);

class Variant {
public:
    Variant() = default;
    explicit Variant(std::int16_t v) : value_(v) {}
    explicit Variant(std::int32_t v) : value_(v) {}
    explicit Variant(std::uint32_t v) : value_(v) {}
    explicit Variant(float v) : value_(v) {}
    explicit Variant(std::u16string v) : value_(std::move(v)) {}

    VariantType Type() const;
    bool IsEmpty() const { return Type() == VariantType::Empty; }

    // Typed access; the caller has checked the type (a wrong type is a
    // programming error and returns the type's zero value).
    std::int16_t I2() const { return Get<std::int16_t>(); }
    std::int32_t I4() const { return Get<std::int32_t>(); }
    std::uint32_t UI4() const { return Get<std::uint32_t>(); }
    float R4() const { return Get<float>(); }
    const std::u16string& Bstr() const;

    // The value as a parameter of type `wanted` (out is untouched on failure):
    // out-of-range numbers give DISP_E_OVERFLOW, never a wrapped value; R4 to
    // an integer rounds half to even; text converts only to text; an empty
    // value is DISP_E_TYPEMISMATCH, since every parameter is required.
    // Numbers to BSTR are formatted in the "C" locale.
    HRESULT CoerceTo(VariantType wanted, Variant& out) const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    template <class T>
    T Get() const {
        if (const T* p = std::get_if<T>(&value_)) return *p;
        return T{};
    }

    std::variant<std::monostate, std::int16_t, std::int32_t, std::uint32_t, float, std::u16string> value_;
};

// Round half to even, as automation does when it turns a float into an integer.
double RoundHalfEven(double value);

// Malformed UTF-8 and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Windows-1252, the code page of the module's command lines. The five bytes
// 1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control
// characters of the same value and back. Every character 1252 cannot hold
// becomes one '?' (a surrogate pair is one character).
std::u16string Cp1252ToUtf16(std::string_view bytes);
std::string Utf16ToCp1252(std::u16string_view text);

}  // namespace brimlink::automation
