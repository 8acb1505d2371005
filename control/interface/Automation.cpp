#include "control/interface/Automation.h"

#include <cstdio>

namespace brimlink::automation {

std::string FormatResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
    return text;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ReadHex(std::string_view text, std::size_t pos, std::size_t count, std::uint32_t& out) {
    out = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) return false;
        out = out * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
}

}  // namespace

std::optional<GUID> GUID::Parse(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
    for (std::size_t dash : {9u, 14u, 19u, 24u})
        if (text[dash] != '-') return std::nullopt;
    GUID g;
    std::uint32_t v = 0;
    if (!ReadHex(text, 1, 8, g.data1)) return std::nullopt;
    if (!ReadHex(text, 10, 4, v)) return std::nullopt;
    g.data2 = static_cast<std::uint16_t>(v);
    if (!ReadHex(text, 15, 4, v)) return std::nullopt;
    g.data3 = static_cast<std::uint16_t>(v);
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t pos = i < 2 ? 20 + 2 * i : 25 + 2 * (i - 2);
        if (!ReadHex(text, pos, 2, v)) return std::nullopt;
        g.data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

std::string GUID::ToString() const {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1), static_cast<unsigned>(data2), static_cast<unsigned>(data3),
                  data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
    return text;
}

}  // namespace brimlink::automation
