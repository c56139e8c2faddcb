// A tiny script host for automation objects, in the spirit of the classic
// ones. One statement per line:
//
//   ' comment                        Rem comment
//   Dim a, b                         declares (variables need no declaring)
//   Set o = CreateObject("Prog.Id")  Set o = Nothing    Set x = o.Item(0)
//   x = expression                   o.Prop = expression
//   o.Member arg1, arg2              Call o.Member(arg1, arg2)
//   Print expr, expr                 WScript.Echo expr   (values joined by a blank)
//   Print Err                        the trapped error: number, source, description
//   Wait seconds                     WScript.Sleep milliseconds
//   On Error Resume Next             On Error GoTo 0     Err.Clear
//
// Expressions: numbers, "text" ("" for a quote), True, False, Empty, Nothing,
// #4/20/2002 8:00:00 PM#, variables, member calls (o.A(1).B), Err.Number,
// Err.Source, Err.Description, the functions CDate CInt CLng CDbl CStr CBool
// TypeName Now, "&" to join texts, "+" "-" "*" "/" on numbers, parentheses.
// A variable passed as an argument is passed by reference and receives the
// callee's writes; any other argument is passed by value.
#pragma once

#include "platform/variant.h"

#include <iosfwd>
#include <map>
#include <string>

namespace vesper {

class ScriptHost {
public:
    explicit ScriptHost(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    // Runs a script. Returns 0 when it ran to the end, 1 when an untrapped
    // run-time error stopped it, 2 when a line could not be understood.
    int run(const std::string& source);

    const std::map<std::string, Variant>& variables() const { return m_vars; }

private:
    friend class ScriptLine;
    std::ostream& m_out;
    std::ostream& m_err;
    std::map<std::string, Variant> m_vars; // keys in lower case
    bool m_resumeNext = false;
    int32_t m_errNumber = 0;
    std::string m_errSource;
    std::string m_errDescription;
};

} // namespace vesper
