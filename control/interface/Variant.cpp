#include "control/interface/Variant.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace brimlink::automation {

std::string_view TypeName(VariantType type) {
    switch (type) {
    case VariantType::Empty: return "EMPTY";
    case VariantType::I2: return "I2";
    case VariantType::I4: return "I4";
    case VariantType::UI4: return "UI4";
    case VariantType::R4: return "R4";
    case VariantType::BSTR: return "BSTR";
    }
    return "?";
}

VariantType Variant::Type() const {
    switch (value_.index()) {
    case 1: return VariantType::I2;
    case 2: return VariantType::I4;
    case 3: return VariantType::UI4;
    case 4: return VariantType::R4;
    case 5: return VariantType::BSTR;
    default: return VariantType::Empty;
    }
}

const std::u16string& Variant::Bstr() const {
    static const std::u16string empty;
    if (const auto* p = std::get_if<std::u16string>(&value_)) return *p;
    return empty;
}

double RoundHalfEven(double value) {
    const double low = std::floor(value);
    const double rest = value - low;
    if (rest > 0.5) return low + 1.0;
    if (rest < 0.5) return low;
    return std::fmod(low, 2.0) == 0.0 ? low : low + 1.0;
}

namespace {

// Every source number as a double is exact (I4, UI4 and R4 all fit in 53 bits).
bool AsNumber(const Variant& v, double& out, bool& isFloat) {
    isFloat = false;
    switch (v.Type()) {
    case VariantType::I2: out = v.I2(); return true;
    case VariantType::I4: out = v.I4(); return true;
    case VariantType::UI4: out = v.UI4(); return true;
    case VariantType::R4: out = v.R4(); isFloat = true; return true;
    default: return false;
    }
}

template <class Int>
HRESULT ToInteger(double value, bool isFloat, Variant& out) {
    if (isFloat) {
        if (!std::isfinite(value)) return DISP_E_OVERFLOW;
        value = RoundHalfEven(value);
    }
    if (value < static_cast<double>(std::numeric_limits<Int>::min()) ||
        value > static_cast<double>(std::numeric_limits<Int>::max()))
        return DISP_E_OVERFLOW;
    out = Variant(static_cast<Int>(value));
    return S_OK;
}

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string FormatNumber(const Variant& v) {
    char text[64];
    std::to_chars_result r{};
    switch (v.Type()) {
    case VariantType::I2: r = std::to_chars(text, text + sizeof text, v.I2()); break;
    case VariantType::I4: r = std::to_chars(text, text + sizeof text, v.I4()); break;
    case VariantType::UI4: r = std::to_chars(text, text + sizeof text, v.UI4()); break;
    case VariantType::R4: r = std::to_chars(text, text + sizeof text, v.R4()); break;
    default: return {};
    }
    return Ascii(std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
}

}  // namespace

HRESULT Variant::CoerceTo(VariantType wanted, Variant& out) const {
    const VariantType have = Type();
    if (have == VariantType::Empty) return DISP_E_TYPEMISMATCH;
    if (have == wanted) {
        out = *this;
        return S_OK;
    }
    if (wanted == VariantType::BSTR) {
        out = Variant(FormatNumber(*this));
        return S_OK;
    }
    double number = 0;
    bool isFloat = false;
    if (!AsNumber(*this, number, isFloat)) return DISP_E_TYPEMISMATCH;
    switch (wanted) {
    case VariantType::I2: return ToInteger<std::int16_t>(number, isFloat, out);
    case VariantType::I4: return ToInteger<std::int32_t>(number, isFloat, out);
    case VariantType::UI4: return ToInteger<std::uint32_t>(number, isFloat, out);
    case VariantType::R4:
        // Only UI4/I4 can lose low digits here; automation accepts that.
        out = Variant(static_cast<float>(number));
        return S_OK;
    default: return DISP_E_TYPEMISMATCH;
    }
}

// ---- text ----------------------------------------------------------------

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Calls emit(code point) for each character; lone surrogates become U+FFFD.
template <class Emit>
void DecodeUtf16(std::u16string_view text, Emit emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            emit(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            emit(kReplacement);
        } else {
            emit(u);
        }
    }
}

// 0x80..0x9F of Windows-1252; the unassigned bytes keep their own value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b < 0x80) { c = b; }
        else if (b >= 0xC2 && b <= 0xDF) { extra = 1; c = b & 0x1F; minimum = 0x80; }
        else if (b >= 0xE0 && b <= 0xEF) { extra = 2; c = b & 0x0F; minimum = 0x800; }
        else if (b >= 0xF0 && b <= 0xF4) { extra = 3; c = b & 0x07; minimum = 0x10000; }
        else { out.push_back(static_cast<char16_t>(kReplacement)); ++i; continue; }
        std::size_t n = 1;
        for (; n <= extra; ++n) {
            if (i + n >= text.size()) break;
            const auto cont = static_cast<unsigned char>(text[i + n]);
            if ((cont & 0xC0) != 0x80) break;
            c = (c << 6) | (cont & 0x3F);
        }
        if (n <= extra || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            // Skip the lead byte and the continuation bytes read so far as one bad sequence.
            out.push_back(static_cast<char16_t>(kReplacement));
            i += n;
            continue;
        }
        AppendUtf16(out, c);
        i += n;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    DecodeUtf16(text, [&](char32_t c) { AppendUtf8(out, c); });
    return out;
}

std::u16string Cp1252ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out.push_back(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

std::string Utf16ToCp1252(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    DecodeUtf16(text, [&](char32_t c) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            return;
        }
        for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
            if (kCp1252High[i] == c) {
                out.push_back(static_cast<char>(0x80 + i));
                return;
            }
        }
        out.push_back('?');
    });
    return out;
}

}  // namespace brimlink::automation
