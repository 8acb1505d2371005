#include "support/RecordingControl.h"
#include "tools/brimlink-cli/CliProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <stdexcept>
#include <string>
#include <vector>

namespace ba = brimlink::automation;
namespace cli = brimlink::cli;
using ba::Variant;
using FakeControl = brimlink::testing::RecordingControl;
using Strings = std::vector<std::string>;

namespace {

cli::CallResult Call(ba::Dispatch& target, const std::string& line) {
    const cli::ParseResult parsed = cli::ParseCommand(line);
    EXPECT_TRUE(parsed.ok) << line << " -> " << parsed.error;
    if (!parsed.ok) return {};
    return cli::RunCall(target, parsed.command);
}

// The program's loop in miniature: output and error lines of a -c script.
struct Transcript {
    Strings out;
    Strings err;
};

Transcript RunScript(ba::Dispatch& target, const std::string& script) {
    Transcript t;
    for (const std::string& piece : cli::SplitCommandText(script)) {
        const cli::ParseResult parsed = cli::ParseCommand(piece);
        if (!parsed.ok) {
            t.err.push_back(parsed.error);
            continue;
        }
        if (parsed.command.kind != cli::CommandKind::Call) continue;
        cli::CallResult r = cli::RunCall(target, parsed.command);
        (r.ok ? t.out : t.err).push_back(r.line);
    }
    return t;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// A dispatch object that answers every call with a fixed outcome, for
// targets that do not follow the table.
class RawDispatch final : public ba::RefCounted<ba::Dispatch> {
public:
    ba::HRESULT hr = ba::S_OK;
    Variant result;
    bool throws = false;
    ba::HRESULT GetIDsOfNames(std::u16string_view, ba::DISPID*) override { return ba::DISP_E_UNKNOWNNAME; }
    ba::HRESULT Invoke(ba::DISPID, std::span<const Variant>, Variant* out, std::size_t*) override {
        if (throws) throw std::runtime_error("target failed");
        if (out) *out = result;
        return hr;
    }
};

}  // namespace

TEST(CliRunCall, MethodsWithoutResultPrintDoneAndGetCoercedArguments) {
    ba::ComPtr<FakeControl> control = ba::MakeObject<FakeControl>();
    const Transcript t = RunScript(*control,
                                   "setmodule 2; -552; SetOutputWord 1 0x2 -3; SetGain 1 2 1.5; SetGain 1 2 3;"
                                   R"( SendString 4 "A;\"b\"\t)" "\xC3\xBC\"; 14 7");
    EXPECT_TRUE(t.err.empty()) << t.err.front();
    EXPECT_EQ(t.out, (Strings{"SetModule done", "AboutBox done", "SetOutputWord done", "SetGain done",
                              "SetGain done", "SendString done", "DoBackgroundProcessing done"}));
    EXPECT_EQ(control->calls,
              (Strings{"SetModule(I2:2)", "AboutBox()", "SetOutputWord(I2:1,I2:2,I4:-3)",
                       "SetGain(I2:1,I2:2,R4:1.500000)", "SetGain(I2:1,I2:2,R4:3.000000)",
                       "SendString(I2:4,BSTR:A;\"b\"\t\xC3\xBC)", "DoBackgroundProcessing(I2:7)"}));
}

TEST(CliRunCall, ResultsAreFormattedByType) {
    ba::ComPtr<FakeControl> control = ba::MakeObject<FakeControl>();
    control->i2Result = static_cast<std::int16_t>(40000);  // the image wraps like the 16-bit original
    EXPECT_EQ(Call(*control, "GetDigitalInput0").line, "GetDigitalInput0 = -25536");
    control->i2Result = 0x12;
    EXPECT_EQ(Call(*control, "CONNECT").line, "Connect = 18");
    control->i4Result = 40000;
    EXPECT_EQ(Call(*control, "getinputword 2 0").line, "GetInputWord = 40000");
    control->i4Result = -2147483647 - 1;
    EXPECT_EQ(Call(*control, "30 1 2").line, "GetCounter = -2147483648");
    control->ui4Result = 0xFFFFFFFFu;
    EXPECT_EQ(Call(*control, "GetUSBLocation 1").line, "GetUSBLocation = 4294967295");
    control->stringResult = u"a\"b\\c\r\n\t\u00FC\u20AC";
    EXPECT_EQ(Call(*control, R"(SendAndGetString 1 "?")").line,
              "SendAndGetString = \"a\\\"b\\\\c\\r\\n\\t\xC3\xBC\xE2\x82\xAC\"");
    control->stringResult = u"";
    EXPECT_EQ(Call(*control, R"(SendAndGetString 1 "?")").line, "SendAndGetString = \"\"");
    const cli::CallResult r = Call(*control, "GetModuleType 3");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.hr, ba::S_OK);
}

TEST(CliRunCall, RefusedCallsGiveRecognisableErrorLinesAndNoEffect) {
    ba::ComPtr<FakeControl> control = ba::MakeObject<FakeControl>();

    cli::CallResult r = Call(*control, "SetModule 40000");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.hr, ba::DISP_E_OVERFLOW);
    EXPECT_EQ(r.line, "error: SetModule 0x8002000A DISP_E_OVERFLOW: argument 1 (ModIndex: I2) out of range");

    r = Call(*control, "SetOutputWord 1 2 0xFFFFFFFF");
    EXPECT_EQ(r.hr, ba::DISP_E_OVERFLOW);
    EXPECT_EQ(r.line, "error: SetOutputWord 0x8002000A DISP_E_OVERFLOW: argument 3 (Value: I4) out of range");

    r = Call(*control, "SetModule");
    EXPECT_EQ(r.hr, ba::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(r.line, "error: SetModule 0x8002000E DISP_E_BADPARAMCOUNT: takes 1 argument (ModIndex: I2), got 0");
    r = Call(*control, "connect 1");
    EXPECT_EQ(r.line, "error: Connect 0x8002000E DISP_E_BADPARAMCOUNT: takes 0 arguments, got 1");
    r = Call(*control, "GetInputWord 1 2 3");
    EXPECT_EQ(r.line,
              "error: GetInputWord 0x8002000E DISP_E_BADPARAMCOUNT: takes 2 arguments "
              "(ModIndex: I2, WordIndex: I2), got 3");

    r = Call(*control, R"(GetInput 1 "2" 3)");
    EXPECT_EQ(r.hr, ba::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.line,
              "error: GetInput 0x80020005 DISP_E_TYPEMISMATCH: argument 2 (ByteIndex: I2) cannot take a value "
              "of type BSTR");

    EXPECT_TRUE(control->calls.empty()) << control->calls.front();

    control->throwNext = true;
    r = Call(*control, "DoProcess");
    EXPECT_EQ(r.hr, ba::DISP_E_EXCEPTION);
    EXPECT_EQ(r.line, "error: DoProcess 0x80020009 DISP_E_EXCEPTION: the method failed");
}

TEST(CliRunCall, TargetsThatBreakTheTableAreReportedNotTrusted) {
    ba::ComPtr<RawDispatch> raw = ba::MakeObject<RawDispatch>();
    raw->hr = ba::DISP_E_MEMBERNOTFOUND;
    EXPECT_EQ(Call(*raw, "UpdateModule 1").line,
              "error: UpdateModule 0x80020003 DISP_E_MEMBERNOTFOUND: the object has no member with DISPID 44");

    // A coercion error without an index still names the method and code.
    raw->hr = ba::DISP_E_OVERFLOW;
    EXPECT_EQ(Call(*raw, "SetModule 1").line,
              "error: SetModule 0x8002000A DISP_E_OVERFLOW: an argument is out of range");

    raw->hr = ba::MakeResult(0x80001234u);
    EXPECT_EQ(Call(*raw, "DoProcess").line, "error: DoProcess 0x80001234: the call failed");

    raw->hr = ba::S_OK;
    raw->result = Variant(std::int32_t{5});
    cli::CallResult r = Call(*raw, "GetDigitalInput0");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.line, "error: GetDigitalInput0 0x80020005 DISP_E_TYPEMISMATCH: the object returned I4, the type "
                      "table says I2");
    raw->result = Variant(std::int16_t{1});
    EXPECT_FALSE(Call(*raw, "DoProcess").ok);
    EXPECT_TRUE(Call(*raw, "GetDigitalInput0").ok);

    raw->throws = true;
    r = Call(*raw, "GetDigitalInput0");
    EXPECT_EQ(r.hr, ba::DISP_E_EXCEPTION);

    cli::Command notACall;
    notACall.kind = cli::CommandKind::Pump;
    r = cli::RunCall(*raw, notACall);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(StartsWith(r.line, "error: "));
}

TEST(CliRunCall, ScriptGoesOnAfterErrors) {
    ba::ComPtr<FakeControl> control = ba::MakeObject<FakeControl>();
    control->i2Result = 2;
    const Transcript t =
        RunScript(*control, "# setup; Connect; Nonsense 1; SetModule 40000; SetModule \"x; SetModule 5");
    EXPECT_EQ(t.out, (Strings{"Connect = 2"}));
    ASSERT_EQ(t.err.size(), 3u);
    EXPECT_EQ(t.err[0], "error: unknown method 'Nonsense' (see typelib)");
    EXPECT_TRUE(StartsWith(t.err[1], "error: SetModule 0x8002000A DISP_E_OVERFLOW"));
    EXPECT_TRUE(StartsWith(t.err[2], "error: unterminated string \"x; SetModule 5")) << t.err[2];
    EXPECT_EQ(control->calls, (Strings{"Connect()"}));
}

TEST(CliFormat, ValuesByType) {
    EXPECT_EQ(cli::FormatValue(Variant(2.0f)), "2.0");
    EXPECT_EQ(cli::FormatValue(Variant(-0.25f)), "-0.25");
    EXPECT_EQ(cli::FormatValue(Variant(0.1f)), "0.1");
    EXPECT_EQ(cli::FormatValue(Variant(65536.5f)), "65536.5");
    EXPECT_EQ(cli::FormatValue(Variant(-3.0f)), "-3.0");
    EXPECT_EQ(cli::FormatValue(Variant(0.0f)), "0.0");
    EXPECT_EQ(cli::FormatValue(Variant(std::int16_t{-1})), "-1");
    EXPECT_EQ(cli::FormatValue(Variant(std::uint32_t{3000000000u})), "3000000000");
    EXPECT_EQ(cli::FormatValue(Variant()), "");
    EXPECT_EQ(cli::FormatResultLine(ba::kBrimlinkMethods[0], Variant()), "AboutBox done");
}

TEST(CliFormat, R4IgnoresADecimalCommaLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_ALL, "nl_NL.UTF-8") == nullptr && std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string text = cli::FormatValue(Variant(1.25f));
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(text, "1.25");
}

TEST(CliFormat, EventLine) {
    EXPECT_EQ(cli::FormatEventLine(2, 3, 40000), "InputWordChanged 2 3 40000");
    EXPECT_EQ(cli::FormatEventLine(1, 0, -1), "InputWordChanged 1 0 -1");
    EXPECT_EQ(cli::FormatEventLine(8, 4, 2147483647), "InputWordChanged 8 4 2147483647");

    // As a host's sink receives it through the connection point.
    struct Sink final : ba::RefCounted<ba::BrimlinkEventSink> {
        Strings lines;
        void InputWordChanged(std::int16_t m, std::int16_t w, std::int32_t v) override {
            lines.push_back(cli::FormatEventLine(m, w, v));
        }
    };
    ba::ComPtr<Sink> sink = ba::MakeObject<Sink>();
    ba::ConnectionPoint point(ba::DIID__DBrimlinkEvents);
    std::uint32_t cookie = 0;
    ASSERT_EQ(point.Advise(sink.get(), &cookie), ba::S_OK);
    ba::FireInputWordChanged(point, 5, 1, 0x8000);
    ba::FireInputWordChanged(point, 2, 0, -25536);
    EXPECT_EQ(sink->lines, (Strings{"InputWordChanged 5 1 32768", "InputWordChanged 2 0 -25536"}));
    point.UnadviseAll();
}

TEST(CliText, HelpAndTypeLibrary) {
    const std::string help = cli::HelpText();
    for (const char* needle : {"-c", "pump MS", "typelib", "help", "NAME = VALUE", "NAME done",
                               "InputWordChanged MODINDEX WORDINDEX VALUE", "error: NAME 0xHRESULT SYMBOL: DETAIL",
                               "\\r \\n \\t \\\\ \\\"", "-552", "0x", "'#'", "message: TEXT"})
        EXPECT_NE(help.find(needle), std::string::npos) << needle;
    EXPECT_EQ(help.back(), '\n');

    const Strings lines = cli::TypeLibraryLines();
    for (const ba::MethodInfo& m : ba::kBrimlinkMethods)
        EXPECT_NE(std::find(lines.begin(), lines.end(), ba::FormatMethod(m)), lines.end()) << m.name;
}
