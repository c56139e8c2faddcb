#include "tools/script_host.h"

#include "platform/automation.h"
#include "platform/clock.h"

#include <cctype>
#include <cmath>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

namespace vesper {

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A line that cannot be understood.
struct SyntaxError {
    std::string what;
};

struct Token {
    enum Kind { Name, Number, Text, Date, Punct, End } kind = End;
    std::string text;
};

std::vector<Token> tokenize(const std::string& line) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '\'') {
            break; // comment to the end of the line
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t j = i;
            while (j < line.size() && (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '_'))
                ++j;
            out.push_back({Token::Name, line.substr(i, j - i)});
            i = j;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1])))) {
            size_t j = i;
            while (j < line.size() && (std::isdigit(static_cast<unsigned char>(line[j])) || line[j] == '.'))
                ++j;
            if (j < line.size() && (line[j] == 'e' || line[j] == 'E')) {
                ++j;
                if (j < line.size() && (line[j] == '+' || line[j] == '-')) ++j;
                while (j < line.size() && std::isdigit(static_cast<unsigned char>(line[j])))
                    ++j;
            }
            out.push_back({Token::Number, line.substr(i, j - i)});
            i = j;
        } else if (c == '"') {
            std::string s;
            size_t j = i + 1;
            for (;;) {
                if (j >= line.size()) throw SyntaxError{"unterminated text"};
                if (line[j] == '"') {
                    if (j + 1 < line.size() && line[j + 1] == '"') {
                        s += '"';
                        j += 2;
                        continue;
                    }
                    break;
                }
                s += line[j++];
            }
            out.push_back({Token::Text, s});
            i = j + 1;
        } else if (c == '#') {
            const size_t j = line.find('#', i + 1);
            if (j == std::string::npos) throw SyntaxError{"unterminated date literal"};
            out.push_back({Token::Date, line.substr(i + 1, j - i - 1)});
            i = j + 1;
        } else if (std::string("(),.=&+-*/").find(c) != std::string::npos) {
            out.push_back({Token::Punct, std::string(1, c)});
            ++i;
        } else {
            throw SyntaxError{std::string("unexpected character '") + c + "'"};
        }
    }
    out.push_back({Token::End, {}});
    return out;
}

} // namespace

// Parses and runs one line of a script against its host.
class ScriptLine {
public:
    ScriptLine(ScriptHost& host, std::vector<Token> tokens) : h(host), t(std::move(tokens)) {}

    void run() {
        if (isName("rem") || peek().kind == Token::End) return;
        if (isName("dim")) return;
        if (isName("on")) return onError();
        if (isName("set")) {
            next();
            const std::string var = name();
            expectPunct("=");
            Variant v = expression();
            end();
            if (!v.isObject()) raiseError(424, "vesper-script", "Object required");
            h.m_vars[lower(var)] = v;
            return;
        }
        if (isName("print") || (isName("wscript") && lookName(2, "echo"))) {
            if (isName("wscript")) next(), next();
            next();
            return print();
        }
        if (isName("wait")) {
            next();
            const double s = expression().toDouble();
            end();
            waitSeconds(s);
            return;
        }
        if (isName("wscript") && lookName(2, "sleep")) {
            next(), next(), next();
            const double ms = expression().toDouble();
            end();
            waitSeconds(ms / 1000.0);
            return;
        }
        if (isName("err") && lookName(2, "clear")) {
            next(), next(), next();
            end();
            clearErr();
            return;
        }
        if (isName("call")) {
            next();
            callStatement(true);
            return;
        }
        callStatement(false);
    }

private:
    struct Ref {
        std::string variable; // set when the argument is a bare variable
    };

    // name [. member ...] followed by "= expr" (assignment) or arguments (call).
    void callStatement(bool withCall) {
        const std::string first = name();
        if (peekPunct("=") && !withCall) {
            next();
            Variant v = expression();
            end();
            h.m_vars[lower(first)] = v;
            return;
        }
        if (!peekPunct(".")) throw SyntaxError{"expected a statement"};
        Variant target = variable(first);
        // Walk the chain; the last member is called as a statement.
        for (;;) {
            expectPunct(".");
            const std::string member = name();
            if (peekPunct(".")) {
                target = invoke(target, member, parenArgs());
                continue;
            }
            if (peekPunct("(") && !withCall) {
                // "o.M(a).N ..." or "o.M(a)" as a statement.
                std::vector<Ref> refs;
                Args args = parenArgs(&refs);
                if (peekPunct(".")) {
                    target = invoke(target, member, args);
                    continue;
                }
                if (peekPunct("=")) {
                    next();
                    args.push_back(expression());
                    end();
                    put(target, member, args);
                    return;
                }
                end();
                invoke(target, member, args, &refs);
                return;
            }
            if (peekPunct("=") && !withCall) {
                next();
                Args a{expression()};
                end();
                put(target, member, a);
                return;
            }
            std::vector<Ref> refs;
            Args args = withCall ? parenArgs(&refs) : bareArgs(&refs);
            end();
            invoke(target, member, args, &refs);
            return;
        }
    }

    void print() {
        std::string line;
        bool firstValue = true;
        while (peek().kind != Token::End) {
            if (!firstValue) expectPunct(",");
            const Variant v = expression();
            if (!firstValue) line += ' ';
            line += show(v);
            firstValue = false;
        }
        h.m_out << line << "\n";
        h.m_out.flush();
    }

    void onError() {
        next();
        if (!isName("error")) throw SyntaxError{"expected \"On Error\""};
        next();
        if (isName("resume") && lookName(1, "next")) {
            next(), next();
            end();
            h.m_resumeNext = true;
            return;
        }
        if (isName("goto") && t[pos + 1].kind == Token::Number && t[pos + 1].text == "0") {
            next(), next();
            end();
            h.m_resumeNext = false;
            clearErr();
            return;
        }
        throw SyntaxError{"expected \"On Error Resume Next\" or \"On Error GoTo 0\""};
    }

    void clearErr() {
        h.m_errNumber = 0;
        h.m_errSource.clear();
        h.m_errDescription.clear();
    }

    static std::string show(const Variant& v) {
        if (v.isObject()) {
            const ObjectPtr o = v.toObject();
            return o ? "<" + o->className() + ">" : "Nothing";
        }
        if (v.type() == Variant::Type::Null) return "Null";
        return v.toString();
    }

    Variant variable(const std::string& n) {
        const auto it = h.m_vars.find(lower(n));
        return it == h.m_vars.end() ? Variant() : it->second;
    }

    Variant invoke(const Variant& target, const std::string& member, Args args,
                   const std::vector<Ref>* refs = nullptr) {
        const ObjectPtr o = target.isObject() ? target.toObject() : nullptr;
        if (!o) raiseError(target.isObject() ? err::ObjectNotSet : 424, "vesper-script");
        Variant r = o->invoke(member, args);
        if (refs)
            for (size_t i = 0; i < refs->size() && i < args.size(); ++i)
                if (!(*refs)[i].variable.empty()) h.m_vars[lower((*refs)[i].variable)] = args[i];
        return r;
    }

    void put(const Variant& target, const std::string& member, Args& args) {
        const ObjectPtr o = target.isObject() ? target.toObject() : nullptr;
        if (!o) raiseError(target.isObject() ? err::ObjectNotSet : 424, "vesper-script");
        o->invoke(member, args, CallKind::PropertyPut);
    }

    Args parenArgs(std::vector<Ref>* refs = nullptr) {
        Args args;
        if (!peekPunct("(")) return args;
        next();
        if (peekPunct(")")) {
            next();
            return args;
        }
        for (;;) {
            argument(args, refs);
            if (peekPunct(")")) {
                next();
                return args;
            }
            expectPunct(",");
        }
    }

    Args bareArgs(std::vector<Ref>* refs) {
        Args args;
        if (peek().kind == Token::End) return args;
        for (;;) {
            argument(args, refs);
            if (peek().kind == Token::End) return args;
            expectPunct(",");
        }
    }

    void argument(Args& args, std::vector<Ref>* refs) {
        // An empty slot ("a, , c") is an omitted optional argument.
        if (peekPunct(",") || peekPunct(")") || peek().kind == Token::End) {
            args.push_back(Variant::missing());
            if (refs) refs->push_back({});
            return;
        }
        const Token& a = peek();
        const Token& b = t[pos + 1];
        const bool bareVariable =
            a.kind == Token::Name && !isKeyword(a.text) &&
            (b.kind == Token::End || (b.kind == Token::Punct && (b.text == "," || b.text == ")")));
        if (refs) refs->push_back({bareVariable ? a.text : std::string()});
        args.push_back(expression());
    }

    static bool isKeyword(const std::string& n) {
        const std::string l = lower(n);
        return l == "true" || l == "false" || l == "empty" || l == "nothing" || l == "null" || l == "now" || l == "err";
    }

    // Parentheses, signs and calls nest through recursion: a limit keeps a
    // hostile line from running the stack out.
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) {
            if (++depth > kMaxDepth) {
                --depth;
                throw SyntaxError{"the expression is nested too deeply (more than " + std::to_string(kMaxDepth) +
                                  " levels)"};
            }
        }
        ~Depth() { --depth; }
    };
    static constexpr int kMaxDepth = 200;

    // expression := term { ("&" | "+" | "-") term }
    Variant expression() {
        const Depth guard(depth);
        Variant v = term();
        for (;;) {
            if (peekPunct("&")) {
                next();
                const Variant r = term();
                v = Variant(show(v) + show(r));
            } else if (peekPunct("+") || peekPunct("-")) {
                const bool plus = next().text == "+";
                const Variant r = term();
                if (plus && v.isString() && r.isString())
                    v = Variant(v.toString() + r.toString());
                else
                    v = Variant(plus ? v.toDouble() + r.toDouble() : v.toDouble() - r.toDouble());
            } else {
                return v;
            }
        }
    }

    Variant term() {
        Variant v = unary();
        while (peekPunct("*") || peekPunct("/")) {
            const bool mul = next().text == "*";
            const Variant r = unary();
            if (!mul && r.toDouble() == 0) raiseError(11, "vesper-script");
            v = Variant(mul ? v.toDouble() * r.toDouble() : v.toDouble() / r.toDouble());
        }
        return v;
    }

    Variant unary() {
        if (peekPunct("-")) {
            next();
            const Depth guard(depth);
            const Variant v = unary();
            if (v.type() == Variant::Type::Integer) return Variant(static_cast<int16_t>(-v.toInt16()));
            if (v.type() == Variant::Type::Long) return Variant(static_cast<int32_t>(-v.toInt32()));
            return Variant(-v.toDouble());
        }
        return primary();
    }

    Variant primary() {
        const Token tok = next();
        switch (tok.kind) {
        case Token::Number: {
            double d = 0;
            if (!parseNumber(tok.text, d)) throw SyntaxError{"bad number " + tok.text};
            if (tok.text.find_first_of(".eE") == std::string::npos) {
                if (d >= -32768 && d <= 32767) return Variant(static_cast<int16_t>(d));
                if (d >= -2147483648.0 && d <= 2147483647.0) return Variant(static_cast<int32_t>(d));
            }
            return Variant(d);
        }
        case Token::Text: return Variant(tok.text);
        case Token::Date: {
            const auto dt = parseDate(tok.text);
            if (!dt) throw SyntaxError{"bad date #" + tok.text + "#"};
            return Variant::date(*dt);
        }
        case Token::Punct:
            if (tok.text == "(") {
                Variant v = expression();
                expectPunct(")");
                return v;
            }
            throw SyntaxError{"unexpected \"" + tok.text + "\""};
        case Token::End: throw SyntaxError{"expression expected"};
        case Token::Name: break;
        }
        const std::string n = lower(tok.text);
        if (n == "true") return Variant(true);
        if (n == "false") return Variant(false);
        if (n == "empty") return Variant();
        if (n == "null") return Variant::null();
        if (n == "nothing") return Variant::nothing();
        if (n == "now") {
            if (peekPunct("(")) next(), expectPunct(")");
            return Variant::date(vesper::now());
        }
        if (n == "err") {
            // Err alone is the whole error as one text, wherever a value goes.
            if (!peekPunct(".")) {
                if (h.m_errNumber == 0) return Variant(std::string("No error"));
                return Variant("Error " + std::to_string(h.m_errNumber) + " (" + h.m_errSource +
                               "): " + h.m_errDescription);
            }
            expectPunct(".");
            const std::string p = lower(name());
            if (p == "number") return Variant(h.m_errNumber);
            if (p == "source") return Variant(h.m_errSource);
            if (p == "description") return Variant(h.m_errDescription);
            throw SyntaxError{"Err has Number, Source, Description and Clear"};
        }
        if (n == "createobject") {
            const Args a = parenArgs();
            if (a.size() != 1) throw SyntaxError{"CreateObject takes one ProgID"};
            return Variant(CreateObject(a[0].toString()));
        }
        static const char* conversions[] = {"cdate", "cint", "clng", "cdbl", "cstr", "cbool", "typename"};
        for (const char* f : conversions) {
            if (n != f) continue;
            const Args a = parenArgs();
            if (a.size() != 1) throw SyntaxError{tok.text + " takes one argument"};
            if (n == "cdate") return Variant::date(a[0].toDate());
            if (n == "cint") return Variant(a[0].toInt16());
            if (n == "clng") return Variant(a[0].toInt32());
            if (n == "cdbl") return Variant(a[0].toDouble());
            if (n == "cstr") return Variant(a[0].toString());
            if (n == "cbool") return Variant(a[0].toBool());
            return Variant(a[0].typeName());
        }
        Variant v = variable(tok.text);
        while (peekPunct(".")) {
            next();
            const std::string member = name();
            std::vector<Ref> refs;
            Args args = parenArgs(&refs);
            v = invoke(v, member, args, &refs);
        }
        return v;
    }

    const Token& peek() const { return t[pos]; }
    const Token& next() {
        const Token& k = t[pos];
        if (k.kind != Token::End) ++pos;
        return k;
    }
    bool isName(const char* n) const { return peek().kind == Token::Name && lower(peek().text) == n; }
    bool lookName(size_t ahead, const char* n) const {
        return pos + ahead < t.size() && t[pos + ahead].kind == Token::Name && lower(t[pos + ahead].text) == n;
    }
    bool peekPunct(const char* p) const { return peek().kind == Token::Punct && peek().text == p; }
    void expectPunct(const char* p) {
        if (!peekPunct(p)) throw SyntaxError{std::string("expected \"") + p + "\""};
        next();
    }
    std::string name() {
        if (peek().kind != Token::Name) throw SyntaxError{"expected a name"};
        return next().text;
    }
    void end() {
        if (peek().kind != Token::End) throw SyntaxError{"unexpected \"" + peek().text + "\" at the end of the line"};
    }

    ScriptHost& h;
    std::vector<Token> t;
    size_t pos = 0;
    int depth = 0;
};

int ScriptHost::run(const std::string& source) {
    std::istringstream in(source);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        try {
            ScriptLine(*this, tokenize(line)).run();
        } catch (const SyntaxError& e) {
            m_err << "line " << lineNo << ": cannot run this line: " << e.what << "\n";
            return 2;
        } catch (const AutomationError& e) {
            if (m_resumeNext) {
                m_errNumber = e.number();
                m_errSource = e.source();
                m_errDescription = e.description();
                continue;
            }
            m_err << "line " << lineNo << ": run-time error " << e.number() << " (" << e.source()
                  << "): " << e.description() << "\n";
            return 1;
        } catch (const std::exception& e) {
            if (m_resumeNext) {
                m_errNumber = err::InvalidCall;
                m_errSource = "vesper-script";
                m_errDescription = e.what();
                continue;
            }
            m_err << "line " << lineNo << ": run-time error " << err::InvalidCall << " (vesper-script): " << e.what()
                  << "\n";
            return 1;
        }
    }
    return 0;
}

} // namespace vesper
