#include "tools/brimlink-cli/CliProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ba = brimlink::automation;
namespace cli = brimlink::cli;
using ba::Variant;
using ba::VariantType;
using cli::CommandKind;
using Strings = std::vector<std::string>;

namespace {

// The arguments of a call that must parse.
std::vector<Variant> Args(const std::string& line) {
    const cli::ParseResult r = cli::ParseCommand(line);
    EXPECT_TRUE(r.ok) << line << " -> " << r.error;
    return r.command.args;
}

Variant OneArg(const std::string& text) {
    const std::vector<Variant> args = Args("WriteDebugString " + text);
    EXPECT_EQ(args.size(), 1u) << text;
    return args.empty() ? Variant() : args.front();
}

std::string ErrorOf(const std::string& line) {
    const cli::ParseResult r = cli::ParseCommand(line);
    EXPECT_FALSE(r.ok) << line;
    EXPECT_EQ(r.error.rfind("error: ", 0), 0u) << r.error;
    return r.error;
}

}  // namespace

TEST(CliSplit, SemicolonsOutsideStringsSeparateCommands) {
    EXPECT_EQ(cli::SplitCommandText("Connect; SetModule 2;GetInputWord 2 0"),
              (Strings{"Connect", "SetModule 2", "GetInputWord 2 0"}));
    EXPECT_EQ(cli::SplitCommandText(R"(SendString 1 "a;b"; Connect)"), (Strings{R"(SendString 1 "a;b")", "Connect"}));
    // An escaped quote does not close the string, so the ';' after it is still inside.
    EXPECT_EQ(cli::SplitCommandText(R"(WriteDebugString "x\";y"; DoProcess)"),
              (Strings{R"(WriteDebugString "x\";y")", "DoProcess"}));
    // An escaped backslash does not escape the closing quote.
    EXPECT_EQ(cli::SplitCommandText(R"(WriteDebugString "x\\"; DoProcess)"),
              (Strings{R"(WriteDebugString "x\\")", "DoProcess"}));
    // An unterminated string swallows the rest; the parser then reports it.
    const Strings open = cli::SplitCommandText(R"(SendString 1 "a; Connect)");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_NE(cli::ParseCommand(open[0]).error.find("unterminated"), std::string::npos);
}

TEST(CliSplit, BlankPiecesAndCommentsAreDropped) {
    EXPECT_EQ(cli::SplitCommandText(" ; ;\t; Connect ;  # note ; Disconnect;"), (Strings{"Connect", "Disconnect"}));
    EXPECT_TRUE(cli::SplitCommandText("").empty());
    EXPECT_TRUE(cli::SplitCommandText(";;").empty());

    EXPECT_TRUE(cli::IsSkippedLine(""));
    EXPECT_TRUE(cli::IsSkippedLine("   \t\r"));
    EXPECT_TRUE(cli::IsSkippedLine("# Connect"));
    EXPECT_TRUE(cli::IsSkippedLine("  #Connect"));
    EXPECT_FALSE(cli::IsSkippedLine("Connect # not a comment here"));
    EXPECT_FALSE(cli::IsSkippedLine("x"));

    for (const char* line : {"", "  ", "# SetModule 40000", "\t# x", "\r"}) {
        const cli::ParseResult r = cli::ParseCommand(line);
        EXPECT_TRUE(r.ok) << line;
        EXPECT_EQ(r.command.kind, CommandKind::None) << line;
    }
}

TEST(CliParse, MethodsByNameInAnyCaseAndByDispid) {
    for (const char* line : {"SetModule 2", "setmodule 2", "SETMODULE 2", "32 2", "+32 2", "  sEtMoDuLe\t2  "}) {
        const cli::ParseResult r = cli::ParseCommand(line);
        ASSERT_TRUE(r.ok) << line << " -> " << r.error;
        EXPECT_EQ(r.command.kind, CommandKind::Call);
        ASSERT_NE(r.command.method, nullptr);
        EXPECT_EQ(r.command.method->name, "SetModule") << line;
        EXPECT_EQ(r.command.method->dispid, 32);
        ASSERT_EQ(r.command.args.size(), 1u);
        EXPECT_EQ(r.command.args[0], Variant(std::int32_t{2}));
    }
    for (const char* line : {"-552", "aboutbox", "ABOUTBOX"}) {
        const cli::ParseResult r = cli::ParseCommand(line);
        ASSERT_TRUE(r.ok) << line << " -> " << r.error;
        ASSERT_NE(r.command.method, nullptr);
        EXPECT_EQ(r.command.method->name, "AboutBox");
        EXPECT_TRUE(r.command.args.empty());
    }
    // Every member is reachable by its own name and its DISPID.
    for (const ba::MethodInfo& m : ba::kBrimlinkMethods) {
        for (const std::string& head : {std::string(m.name), std::to_string(m.dispid)}) {
            const cli::ParseResult r = cli::ParseCommand(head);
            ASSERT_TRUE(r.ok) << head;
            EXPECT_EQ(r.command.method, &m) << head;
        }
    }
}

TEST(CliParse, UnknownMethodsAndBadDispidsAreErrors) {
    EXPECT_NE(ErrorOf("SetModul 2").find("unknown method 'SetModul'"), std::string::npos);
    EXPECT_NE(ErrorOf("InputWordChanged 1 2 3").find("unknown method"), std::string::npos);
    EXPECT_NE(ErrorOf("99").find("no method with DISPID 99"), std::string::npos);
    EXPECT_NE(ErrorOf("552").find("DISPID 552"), std::string::npos);
    EXPECT_NE(ErrorOf("0x20 2").find("bad DISPID"), std::string::npos);
    EXPECT_NE(ErrorOf("32x 2").find("bad DISPID"), std::string::npos);
    EXPECT_NE(ErrorOf("-").find("bad DISPID"), std::string::npos);
    EXPECT_NE(ErrorOf("99999999999999999999").find("bad DISPID"), std::string::npos);
    EXPECT_NE(ErrorOf("\"Connect\"").find("starts with a method name"), std::string::npos);
}

TEST(CliEscape, NonPrintableBytesAreEscapedAndPrintableUtf8Passes) {
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain ASCII ~!'\\", "plain ASCII ~!'\\"},
        {"\x1B[2J\x1B]0;title\x07", "\\x1B[2J\\x1B]0;title\\x07"},
        {"a\rb\nc\td", "a\\rb\\nc\\td"},
        {"nul\0end"s, "nul\\x00end"},
        {"\x7F\x01\x1F", "\\x7F\\x01\\x1F"},
        // C1 controls arrive as UTF-8; U+009B is a one-character CSI.
        {"\xC2\x9B" "31m", "\\xC2\\x9B" "31m"},
        {"\xC2\x80", "\\xC2\\x80"},
        // Printable UTF-8 from U+00A0 on stays as it is.
        {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x94\x8C", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x94\x8C"},
        {"\xC2\xA0", "\xC2\xA0"},
        // Not UTF-8: lone continuation, overlong forms, a surrogate, a cut
        // sequence, bytes never used.
        {"\x9B" "1m", "\\x9B" "1m"},
        {"\xC0\x9B", "\\xC0\\x9B"},
        {"\xE0\x82\x9B", "\\xE0\\x82\\x9B"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"\xE2\x82", "\\xE2\\x82"},
        {"\xF5\xFF", "\\xF5\\xFF"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(cli::EscapeNonPrintable(text), expected) << expected;
}

TEST(CliEscape, ErrorLinesNeverCarryTheInputsControlBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\x1B[31mConnect", "unknown method '\\x1B[31mConnect'"},
        {"SetModule \x1B]0;x\x07", "SetModule: argument 1 '\\x1B]0;x\\x07' is not a number"},
        {"WriteDebugString \"a\\\x1B\"", "unknown escape \\\\x1B in string"},
        {"WriteDebugString \"open \x1B[2J", "unterminated string \"open \\x1B[2J"},
        {"\x9B" "1mConnect", "unknown method '\\x9B" "1mConnect'"},
    };
    for (const auto& [line, expected] : cases) {
        const std::string error = ErrorOf(line);
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        for (const char c : error) {
            const auto byte = static_cast<unsigned char>(c);
            EXPECT_TRUE(byte >= 0x20 && byte < 0x7F) << "raw byte " << int(byte) << " in " << error;
        }
    }
}

TEST(CliParse, IntegerArguments) {
    EXPECT_EQ(OneArg("42"), Variant(std::int32_t{42}));
    EXPECT_EQ(OneArg("+42"), Variant(std::int32_t{42}));
    EXPECT_EQ(OneArg("-7"), Variant(std::int32_t{-7}));
    EXPECT_EQ(OneArg("0x1F"), Variant(std::int32_t{31}));
    EXPECT_EQ(OneArg("0Xff"), Variant(std::int32_t{255}));
    EXPECT_EQ(OneArg("-0x10"), Variant(std::int32_t{-16}));
    EXPECT_EQ(OneArg("2147483647"), Variant(std::int32_t{2147483647}));
    EXPECT_EQ(OneArg("-2147483648"), Variant(std::int32_t{-2147483647 - 1}));
    // Above I4 the value stays exact as UI4 instead of wrapping negative.
    EXPECT_EQ(OneArg("2147483648"), Variant(std::uint32_t{2147483648u}));
    EXPECT_EQ(OneArg("0xFFFFFFFF"), Variant(std::uint32_t{0xFFFFFFFFu}));
    EXPECT_EQ(OneArg("007"), Variant(std::int32_t{7}));

    for (const char* junk : {"4294967296", "0x100000000", "-2147483649", "-0x80000001",
                             "99999999999999999999999999"})
        EXPECT_NE(ErrorOf(std::string("WriteDebugString ") + junk).find("range"), std::string::npos) << junk;
    for (const char* junk : {"12abc", "abc", "0x", "0xG1", "--1", "+", "1-", "1,5", "1e5", "0b101", "1;"})
        EXPECT_NE(ErrorOf(std::string("WriteDebugString ") + junk).find("is not a number"), std::string::npos)
            << junk;
}

TEST(CliParse, DecimalArgumentsAreR4) {
    EXPECT_EQ(OneArg("1.5"), Variant(1.5f));
    EXPECT_EQ(OneArg("-0.25"), Variant(-0.25f));
    EXPECT_EQ(OneArg("+.5"), Variant(0.5f));
    EXPECT_EQ(OneArg("-.5"), Variant(-0.5f));
    EXPECT_EQ(OneArg("2."), Variant(2.0f));
    EXPECT_EQ(OneArg("0.1"), Variant(0.1f));
    for (const char* junk : {".", "-.", "1.2.3", "1.5x", "0x1.8", "1.-5", "1..", ". 5"}) {
        const cli::ParseResult r = cli::ParseCommand(std::string("SetGain 1 2 ") + junk);
        EXPECT_FALSE(r.ok) << junk;
    }
    const std::string huge = "1" + std::string(60, '0') + ".0";
    EXPECT_NE(ErrorOf("SetGain 1 2 " + huge).find("range of R4"), std::string::npos);
}

TEST(CliParse, StringArgumentsWithEscapesAndUtf8) {
    EXPECT_EQ(OneArg(R"("")"), Variant(std::u16string()));
    EXPECT_EQ(OneArg(R"("a b  c")"), Variant(std::u16string(u"a b  c")));
    EXPECT_EQ(OneArg(R"("\r\n\t\\\"")"), Variant(std::u16string(u"\r\n\t\\\"")));
    EXPECT_EQ(OneArg(R"("x;y#z")"), Variant(std::u16string(u"x;y#z")));
    EXPECT_EQ(OneArg("\"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80\""),
              Variant(std::u16string(u"Gr\u00FC\u00DFe \u20AC \U0001F600")));

    const std::vector<Variant> two = Args(R"(SendAndGetString 3 "MAW 1")");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], Variant(std::int32_t{3}));
    EXPECT_EQ(two[1], Variant(std::u16string(u"MAW 1")));

    EXPECT_NE(ErrorOf(R"(WriteDebugString "abc)").find("unterminated string"), std::string::npos);
    EXPECT_NE(ErrorOf(R"(WriteDebugString "abc\")").find("unterminated string"), std::string::npos);
    EXPECT_NE(ErrorOf(R"(WriteDebugString "abc\)").find("unterminated string"), std::string::npos);
    EXPECT_NE(ErrorOf(R"(WriteDebugString "a\qb")").find("unknown escape \\q"), std::string::npos);
    EXPECT_NE(ErrorOf(R"(WriteDebugString "a\x41")").find("unknown escape \\x"), std::string::npos);
    EXPECT_NE(ErrorOf(R"(WriteDebugString "ab"cd)").find("after the closing quote"), std::string::npos);
}

TEST(CliParse, EscapesRoundTripThroughTheResultFormat) {
    const std::u16string samples[] = {u"", u"plain", u"\"quoted\"", u"back\\slash", u"\r\n\t",
                                      u"\\\"\\n", u"\u00E4\u00F6\u00FC \u20AC \U0001F600", u"a;b # c"};
    for (const std::u16string& text : samples) {
        const std::string quoted = cli::QuoteString(text);
        EXPECT_EQ(quoted.find_first_of("\r\n"), std::string::npos) << quoted;  // stays one line
        EXPECT_EQ(OneArg(quoted), Variant(text)) << quoted;
    }
}

TEST(CliParse, BuiltInCommands) {
    for (const char* line : {"pump 250", "PUMP 250", "Pump\t250 "}) {
        const cli::ParseResult r = cli::ParseCommand(line);
        ASSERT_TRUE(r.ok) << line << " -> " << r.error;
        EXPECT_EQ(r.command.kind, CommandKind::Pump);
        EXPECT_EQ(r.command.pumpMilliseconds, 250);
        EXPECT_EQ(r.command.method, nullptr);
    }
    EXPECT_EQ(cli::ParseCommand("pump 0").command.pumpMilliseconds, 0);
    EXPECT_EQ(cli::ParseCommand("pump 2147483647").command.pumpMilliseconds, 2147483647);
    for (const char* bad : {"pump", "pump -1", "pump 1 2", "pump x", "pump 0x10", "pump 1.5", "pump \"5\"",
                            "pump 2147483648"})
        EXPECT_NE(ErrorOf(bad).find("pump takes one argument"), std::string::npos) << bad;

    EXPECT_EQ(cli::ParseCommand("typelib").command.kind, CommandKind::TypeLib);
    EXPECT_EQ(cli::ParseCommand("TypeLib").command.kind, CommandKind::TypeLib);
    EXPECT_EQ(cli::ParseCommand("help").command.kind, CommandKind::Help);
    EXPECT_EQ(cli::ParseCommand("HELP").command.kind, CommandKind::Help);
    EXPECT_NE(ErrorOf("help me").find("takes no arguments"), std::string::npos);
    EXPECT_NE(ErrorOf("typelib 1").find("takes no arguments"), std::string::npos);
}
