// The line protocol of brimlink-cli: splitting script text into commands,
// parsing one command, running a call through Invoke and formatting the one
// line each call or event prints. Plain C++ without Qt, so the program is a
// loop around it and every rule here can be tested without a control.
//
// Output lines (standard output):
//   NAME = VALUE       a call with a result; NAME spelled as in the type table
//   NAME done          a call of a method without a result
//   InputWordChanged MODINDEX WORDINDEX VALUE
// Values: I2, I4 decimal signed (an I2 is the signed 16-bit value), UI4
// decimal unsigned, R4 in the "C" locale with a point ("2.0", "-0.25"),
// BSTR double-quoted with \r \n \t \\ \" escaped and everything else written
// as UTF-8.
//
// Error lines (standard error) all begin with "error: ". A failed call is
//   error: NAME 0xHRESULT SYMBOL: DETAIL
// e.g. "error: SetModule 0x8002000A DISP_E_OVERFLOW: argument 1 (ModIndex: I2)
// out of range"; argument numbers count from 1. Input that cannot be parsed
// gives "error: " followed by the reason, without a method or code. Error
// lines pass through EscapeNonPrintable.
#pragma once

#include "control/interface/Dispatch.h"
#include "control/interface/TypeTable.h"
#include "control/interface/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brimlink::cli {

namespace ba = brimlink::automation;

// The pieces of a -c argument: split at each ';' outside a double-quoted
// string (a \" inside a string does not end it), trimmed; blank pieces and
// pieces starting with '#' are dropped.
std::vector<std::string> SplitCommandText(std::string_view text);

// True for a blank line or one whose first non-blank character is '#'.
bool IsSkippedLine(std::string_view line);

enum class CommandKind {
    None,     // blank line or comment: nothing to do
    Call,     // a method of _DBrimlink
    Pump,     // process events for pumpMilliseconds
    TypeLib,  // print the method table
    Help,     // print HelpText()
};

struct Command {
    CommandKind kind = CommandKind::None;
    const ba::MethodInfo* method = nullptr;  // Call: the table entry
    std::vector<ba::Variant> args;           // Call: as written (I4, UI4, R4 or BSTR)
    int pumpMilliseconds = 0;                // Pump
};

struct ParseResult {
    bool ok = false;
    Command command;    // valid when ok
    std::string error;  // the whole "error: ..." line when !ok
};

// One command: "NAME ARG..." where NAME is a member of _DBrimlink in any
// letter case or its decimal DISPID (-552 for AboutBox), or one of the
// built-ins "pump MS", "typelib", "help" (any letter case). Arguments:
// integers in decimal or 0x-hex with an optional sign (I4, or UI4 above the
// I4 range), decimals with a point such as 1.5, -.5 or 2. (R4), and
// double-quoted UTF-8 strings with the escapes \r \n \t \\ \" (BSTR).
ParseResult ParseCommand(std::string_view line);

struct CallResult {
    bool ok = false;
    ba::HRESULT hr = ba::S_OK;
    std::string line;  // the output line when ok, else the "error: ..." line
};

// Invokes command.method on `target` by its DISPID with the arguments as
// parsed; the target coerces them, and its errors are reported with the
// table's parameter names. Nothing thrown by the target escapes.
CallResult RunCall(ba::Dispatch& target, const Command& command);

// The symbolic name of the dispatch and generic codes ("DISP_E_OVERFLOW"),
// else "".
std::string_view ResultName(ba::HRESULT hr);

// VALUE of a result line as described above; "" for Empty.
std::string FormatValue(const ba::Variant& value);
// "NAME = VALUE" or, for an Empty result, "NAME done".
std::string FormatResultLine(const ba::MethodInfo& method, const ba::Variant& result);
// BSTR text between double quotes with the escapes of the input syntax.
std::string QuoteString(std::u16string_view text);
// "InputWordChanged MODINDEX WORDINDEX VALUE".
std::string FormatEventLine(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value);

// text as it may be shown on a terminal: printable ASCII and valid UTF-8
// pass; CR, LF and tab become \r \n \t; the other C0 controls, DEL, the C1
// controls (U+0080..U+009F) and bytes outside valid UTF-8 become \xHH, one
// per byte, so an input line can never send escape sequences to the
// terminal through an error message.
std::string EscapeNonPrintable(std::string_view text);

// The text printed by "help", lines ended by '\n'.
std::string HelpText();
// The part of HelpText from "Commands:" on: the protocol without the usage.
std::string CommandsHelpText();
// The text printed by "typelib", one line each.
std::vector<std::string> TypeLibraryLines();

}  // namespace brimlink::cli
