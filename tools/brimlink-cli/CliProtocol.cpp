#include "tools/brimlink-cli/CliProtocol.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

namespace brimlink::cli {

namespace {

using ba::Variant;
using ba::VariantType;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

ParseResult Fail(std::string_view text) {
    ParseResult r;
    r.error = "error: " + EscapeNonPrintable(text);
    return r;
}

// The length of the valid UTF-8 sequence at the start of text, 0 when it
// is not one (overlong forms, surrogates and values above U+10FFFF are not).
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

void AppendHexEscape(std::string& out, unsigned char c) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0x0F]);
}

struct Token {
    bool quoted = false;
    std::string text;  // a quoted token: the UTF-8 contents with escapes resolved
};

// Splits a command into tokens; false with `error` set on a malformed string.
bool Tokenize(std::string_view line, std::vector<Token>& tokens, std::string& error) {
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) return true;
        Token token;
        if (line[i] == '"') {
            token.quoted = true;
            const std::size_t start = i++;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    token.text.push_back(c);
                    continue;
                }
                if (i >= line.size()) break;
                const char e = line[i++];
                switch (e) {
                case 'r': token.text.push_back('\r'); break;
                case 'n': token.text.push_back('\n'); break;
                case 't': token.text.push_back('\t'); break;
                case '\\': token.text.push_back('\\'); break;
                case '"': token.text.push_back('"'); break;
                default:
                    error = "unknown escape \\" + std::string(1, e) + " in string (known: \\r \\n \\t \\\\ \\\")";
                    return false;
                }
            }
            if (!closed) {
                error = "unterminated string " + std::string(line.substr(start));
                return false;
            }
            if (i < line.size() && !IsBlank(line[i])) {
                error = "text after the closing quote of a string: " + Quoted(line.substr(i));
                return false;
            }
        } else {
            while (i < line.size() && !IsBlank(line[i])) token.text.push_back(line[i++]);
        }
        tokens.push_back(std::move(token));
    }
}

// [+-]digits, or [+-]0xhexdigits when allowed; false for anything else. A
// magnitude too large for 64 bits saturates; callers check their own range.
bool ParseInteger(std::string_view text, bool allowHex, bool& negative, std::uint64_t& magnitude) {
    negative = false;
    magnitude = 0;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    constexpr std::uint64_t kLimit = std::numeric_limits<std::uint64_t>::max() / 16;
    for (char c : text) {
        const int d = base == 16 ? HexValue(c) : (IsDigit(c) ? c - '0' : -1);
        if (d < 0) return false;
        if (magnitude > kLimit) {
            magnitude = std::numeric_limits<std::uint64_t>::max();  // far beyond every range
            continue;
        }
        magnitude = magnitude * base + static_cast<unsigned>(d);
    }
    return true;
}

// [+-]digits.digits with digits on at least one side of the point.
bool LooksDecimal(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos) return false;
    std::size_t digits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == point) continue;
        if (!IsDigit(text[i])) return false;
        ++digits;
    }
    return digits > 0;
}

bool ParseArgument(const Token& token, std::size_t number, Variant& out, std::string& error) {
    const std::string where = "argument " + std::to_string(number) + " ";
    if (token.quoted) {
        out = Variant(ba::Utf8ToUtf16(token.text));
        return true;
    }
    const std::string_view text = token.text;
    if (text.find('.') != std::string_view::npos) {
        if (!LooksDecimal(text)) {
            error = where + Quoted(text) + " is not a number";
            return false;
        }
        const bool negative = text.front() == '-';
        std::string_view body = text;
        if (body.front() == '+' || body.front() == '-') body.remove_prefix(1);
        float value = 0;
        const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value,
                                               std::chars_format::fixed);
        if (ec == std::errc::result_out_of_range) {
            error = where + Quoted(text) + " is out of the range of R4";
            return false;
        }
        if (ec != std::errc() || end != body.data() + body.size()) {
            error = where + Quoted(text) + " is not a number";
            return false;
        }
        out = Variant(negative ? -value : value);
        return true;
    }
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ParseInteger(text, true, negative, magnitude)) {
        error = where + Quoted(text) + " is not a number (integers are decimal or 0x-hex, strings are double-quoted)";
        return false;
    }
    constexpr std::uint64_t kI4Max = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    constexpr std::uint64_t kUI4Max = std::numeric_limits<std::uint32_t>::max();
    if (negative) {
        if (magnitude > kI4Max + 1) {
            error = where + Quoted(text) + " is below the range of I4";
            return false;
        }
        out = Variant(static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude)));
    } else if (magnitude <= kI4Max) {
        out = Variant(static_cast<std::int32_t>(magnitude));
    } else if (magnitude <= kUI4Max) {
        out = Variant(static_cast<std::uint32_t>(magnitude));
    } else {
        error = where + Quoted(text) + " is above the range of UI4";
        return false;
    }
    return true;
}

std::string ParamList(const ba::MethodInfo& method) {
    std::string s;
    for (const ba::ParamInfo& p : method.params) {
        if (!s.empty()) s += ", ";
        s += std::string(p.name) + ": " + std::string(ba::TypeName(p.type));
    }
    return s;
}

std::string ArgumentName(const ba::MethodInfo& method, std::size_t index) {
    std::string s = "argument " + std::to_string(index + 1);
    if (index < method.params.size())
        s += " (" + std::string(method.params[index].name) + ": " + std::string(ba::TypeName(method.params[index].type)) +
             ")";
    return s;
}

CallResult CallError(const ba::MethodInfo& method, ba::HRESULT hr, const std::string& detail) {
    CallResult r;
    r.hr = hr;
    r.line = "error: " + std::string(method.name) + " " + ba::FormatResult(hr);
    const std::string_view name = ResultName(hr);
    if (!name.empty()) r.line += " " + std::string(name);
    // The detail may carry what a target said.
    r.line += ": " + EscapeNonPrintable(detail);
    return r;
}

}  // namespace

std::vector<std::string> SplitCommandText(std::string_view text) {
    std::vector<std::string> pieces;
    std::string current;
    bool inString = false;
    auto flush = [&] {
        const std::string_view piece = Trim(current);
        if (!IsSkippedLine(piece)) pieces.emplace_back(piece);
        current.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            current.push_back(c);
            if (c == '\\' && i + 1 < text.size()) {
                current.push_back(text[++i]);  // an escaped quote does not end the string
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == ';') {
            flush();
        } else {
            if (c == '"') inString = true;
            current.push_back(c);
        }
    }
    flush();
    return pieces;
}

bool IsSkippedLine(std::string_view line) {
    line = Trim(line);
    return line.empty() || line.front() == '#';
}

ParseResult ParseCommand(std::string_view line) {
    if (IsSkippedLine(line)) {
        ParseResult r;
        r.ok = true;
        return r;
    }
    std::vector<Token> tokens;
    std::string error;
    if (!Tokenize(line, tokens, error)) return Fail(error);
    const Token& head = tokens.front();
    if (head.quoted) return Fail("a command starts with a method name or DISPID, not a string");
    const std::string_view name = head.text;
    const std::size_t argCount = tokens.size() - 1;

    ParseResult r;
    r.ok = true;
    if (EqualsNoCase(name, "help") || EqualsNoCase(name, "typelib")) {
        if (argCount != 0) return Fail(std::string(name) + " takes no arguments");
        r.command.kind = EqualsNoCase(name, "help") ? CommandKind::Help : CommandKind::TypeLib;
        return r;
    }
    if (EqualsNoCase(name, "pump")) {
        bool negative = false;
        std::uint64_t ms = 0;
        if (argCount != 1 || tokens[1].quoted || !ParseInteger(tokens[1].text, false, negative, ms) || negative ||
            ms > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
            return Fail("pump takes one argument: milliseconds as a decimal number from 0 to 2147483647");
        r.command.kind = CommandKind::Pump;
        r.command.pumpMilliseconds = static_cast<int>(ms);
        return r;
    }

    const ba::MethodInfo* method = nullptr;
    if (IsDigit(name.front()) || name.front() == '-' || name.front() == '+') {
        bool negative = false;
        std::uint64_t magnitude = 0;
        if (!ParseInteger(name, false, negative, magnitude) ||
            magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) + (negative ? 1 : 0))
            return Fail("bad DISPID " + Quoted(name) + " (a decimal number such as 18 or -552)");
        const auto id = static_cast<ba::DISPID>(negative ? -static_cast<std::int64_t>(magnitude)
                                                         : static_cast<std::int64_t>(magnitude));
        method = ba::FindMethod(ba::kBrimlinkInterface, id);
        if (method == nullptr) return Fail("no method with DISPID " + std::to_string(id) + " (see typelib)");
    } else {
        method = ba::FindMethod(ba::kBrimlinkInterface, name);
        if (method == nullptr) return Fail("unknown method " + Quoted(name) + " (see typelib)");
    }
    r.command.kind = CommandKind::Call;
    r.command.method = method;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        Variant value;
        if (!ParseArgument(tokens[i], i, value, error)) return Fail(std::string(method->name) + ": " + error);
        r.command.args.push_back(std::move(value));
    }
    return r;
}

CallResult RunCall(ba::Dispatch& target, const Command& command) {
    if (command.kind != CommandKind::Call || command.method == nullptr) {
        CallResult r;
        r.hr = ba::E_INVALIDARG;
        r.line = "error: not a method call";
        return r;
    }
    const ba::MethodInfo& method = *command.method;
    Variant result;
    std::size_t argError = static_cast<std::size_t>(-1);
    ba::HRESULT hr = ba::E_FAIL;
    try {
        hr = target.Invoke(method.dispid, command.args, &result, &argError);
    } catch (...) {
        hr = ba::DISP_E_EXCEPTION;
    }
    if (ba::Failed(hr)) {
        std::string detail;
        if (hr == ba::DISP_E_BADPARAMCOUNT) {
            detail = "takes " + std::to_string(method.params.size()) + " argument" +
                     (method.params.size() == 1 ? "" : "s") +
                     (method.params.empty() ? "" : " (" + ParamList(method) + ")") + ", got " +
                     std::to_string(command.args.size());
        } else if (hr == ba::DISP_E_OVERFLOW) {
            detail = argError < command.args.size() ? ArgumentName(method, argError) + " out of range"
                                                    : "an argument is out of range";
        } else if (hr == ba::DISP_E_TYPEMISMATCH) {
            detail = argError < command.args.size()
                         ? ArgumentName(method, argError) + " cannot take a value of type " +
                               std::string(ba::TypeName(command.args[argError].Type()))
                         : "an argument has the wrong type";
        } else if (hr == ba::DISP_E_MEMBERNOTFOUND) {
            detail = "the object has no member with DISPID " + std::to_string(method.dispid);
        } else if (hr == ba::DISP_E_EXCEPTION) {
            detail = "the method failed";
        } else {
            detail = "the call failed";
        }
        return CallError(method, hr, detail);
    }
    if (result.Type() != method.result) {
        return CallError(method, ba::DISP_E_TYPEMISMATCH,
                         "the object returned " + std::string(ba::TypeName(result.Type())) + ", the type table says " +
                             std::string(ba::TypeName(method.result)));
    }
    CallResult r;
    r.ok = true;
    r.hr = hr;
    r.line = FormatResultLine(method, result);
    return r;
}

std::string_view ResultName(ba::HRESULT hr) {
    switch (hr) {
    case ba::S_OK: return "S_OK";
    case ba::S_FALSE: return "S_FALSE";
    case ba::E_NOINTERFACE: return "E_NOINTERFACE";
    case ba::E_POINTER: return "E_POINTER";
    case ba::E_FAIL: return "E_FAIL";
    case ba::E_INVALIDARG: return "E_INVALIDARG";
    case ba::E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case ba::DISP_E_MEMBERNOTFOUND: return "DISP_E_MEMBERNOTFOUND";
    case ba::DISP_E_TYPEMISMATCH: return "DISP_E_TYPEMISMATCH";
    case ba::DISP_E_UNKNOWNNAME: return "DISP_E_UNKNOWNNAME";
    case ba::DISP_E_EXCEPTION: return "DISP_E_EXCEPTION";
    case ba::DISP_E_OVERFLOW: return "DISP_E_OVERFLOW";
    case ba::DISP_E_BADPARAMCOUNT: return "DISP_E_BADPARAMCOUNT";
    default: return "";
    }
}

std::string EscapeNonPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        const std::size_t length = Utf8SequenceLength(text);
        // U+0080..U+009F: C2 80..C2 9F; terminals take 9B as ESC [.
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0;
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F || length == 0) {
            AppendHexEscape(out, c);
        } else if (c1) {
            AppendHexEscape(out, c);
            AppendHexEscape(out, static_cast<unsigned char>(text[1]));
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return out;
}

std::string QuoteString(std::u16string_view text) {
    const std::string utf8 = ba::Utf16ToUtf8(text);
    std::string out = "\"";
    // Bytes of multi-byte UTF-8 sequences are all >= 0x80, so escaping byte
    // by byte never splits a character.
    for (char c : utf8) {
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default: out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

std::string FormatValue(const ba::Variant& value) {
    switch (value.Type()) {
    case VariantType::I2: return std::to_string(value.I2());
    case VariantType::I4: return std::to_string(value.I4());
    case VariantType::UI4: return std::to_string(value.UI4());
    case VariantType::R4: {
        // to_chars ignores the locale; fixed notation keeps the point visible.
        char buffer[128];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value.R4(), std::chars_format::fixed);
        if (ec != std::errc()) return "nan";
        std::string text(buffer, end);
        const bool finite = text.find_first_of("ni") == std::string::npos;
        if (finite && text.find('.') == std::string::npos) text += ".0";
        return text;
    }
    case VariantType::BSTR: return QuoteString(value.Bstr());
    case VariantType::Empty: return "";
    }
    return "";
}

std::string FormatResultLine(const ba::MethodInfo& method, const ba::Variant& result) {
    if (result.IsEmpty()) return std::string(method.name) + " done";
    return std::string(method.name) + " = " + FormatValue(result);
}

std::string FormatEventLine(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value) {
    return "InputWordChanged " + std::to_string(modIndex) + " " + std::to_string(wordIndex) + " " +
           std::to_string(value);
}

std::string HelpText() {
    return R"(brimlink-cli: calls the methods of the Brimlink control from a script.

Usage: brimlink-cli [-c 'CMD; CMD ...']
  Without -c, commands are read from standard input, one per line. With -c,
  commands are separated by ';' (a ';' inside a double-quoted string does not
  separate). Blank lines and lines starting with '#' are skipped.

)" + CommandsHelpText();
}

std::string CommandsHelpText() {
    return R"(Commands:
  NAME ARG...   call the method NAME of _DBrimlink; NAME in any letter case,
                or its DISPID in decimal (e.g. 18 for Connect, -552 for AboutBox)
  pump MS       process events for MS milliseconds
  typelib       print the method table (DISPID, name, parameters, result)
  help          print this text

Arguments, separated by blanks:
  42, -7, 0x1F, -0x10   integers (decimal or 0x-hex, with optional sign)
  1.5, -0.25, 2.        decimals with a point (R4)
  "text"                strings in double quotes, UTF-8; escapes \r \n \t \\ \"
  Each argument is converted to the parameter type of the method; a value that
  does not fit (SetModule 40000 for an I2) is an overflow error.

Output, one line per call on standard output:
  NAME = VALUE          a method with a result
  NAME done             a method without a result
  InputWordChanged MODINDEX WORDINDEX VALUE
                        printed whenever the control raises the event, also
                        in the middle of a call
  NAME is spelled as in the method table. Integers are decimal (I2 results are
  signed 16-bit values, UI4 unsigned), decimals use a point, strings are
  double-quoted with the escapes above and other characters in UTF-8.

Errors, one line each on standard error:
  error: NAME 0xHRESULT SYMBOL: DETAIL
                        a call the control refused, for example
                        error: SetModule 0x8002000A DISP_E_OVERFLOW: argument
                        1 (ModIndex: I2) out of range
  error: DETAIL         a command that could not be read
  Control characters of the input are shown escaped (\x1B). Argument numbers
  count from 1. After an error the next command runs; the exit status is 1 if
  any command failed or standard output could not be written, else 0.
  Message boxes of the control appear as "message: TEXT" on standard error.
)";
}

std::vector<std::string> TypeLibraryLines() { return ba::RenderTypeLibrary(); }

}  // namespace brimlink::cli
