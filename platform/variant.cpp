#include "platform/variant.h"

#include "platform/automation.h"
#include "platform/errors.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vesper {

namespace {

bool iequals(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

double checkedRound(double v, double lo, double hi) {
    if (std::isnan(v)) raiseError(err::Overflow);
    const double r = roundHalfEven(v);
    if (r < lo || r > hi) raiseError(err::Overflow);
    return r;
}

} // namespace

double roundHalfEven(double v) {
    const double f = std::floor(v);
    const double diff = v - f;
    if (diff > 0.5) return f + 1;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

bool parseNumber(const std::string& text, double& out) {
    const std::string t = trimmed(text);
    if (t.empty()) return false;
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
        char* end = nullptr;
        const long long v = std::strtoll(t.c_str() + 2, &end, 16);
        if (*end || end == t.c_str() + 2) return false;
        // Four hex digits or fewer are a 16-bit integer, as in the classic form.
        out = (t.size() - 2 <= 4 && v > 0x7FFF) ? static_cast<double>(v - 0x10000) : static_cast<double>(v);
        return true;
    }
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-') ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != t.size()) return false;
    out = std::strtod(t.c_str(), nullptr);
    return std::isfinite(out);
}

std::string numberToText(double v) {
    if (v == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    const size_t e = s.find('e');
    if (e == std::string::npos) return s;
    // Classic exponent form: 1E+16, 1.5E-07.
    std::string mant = s.substr(0, e);
    int exp = std::atoi(s.c_str() + e + 1);
    char eb[16];
    std::snprintf(eb, sizeof eb, "E%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
    return mant + eb;
}

Variant Variant::date(DateTime dt) {
    Variant v;
    v.m_type = Type::Date;
    v.m_value = dt;
    return v;
}

Variant Variant::missing() {
    Variant v;
    v.m_type = Type::Missing;
    return v;
}

Variant Variant::null() {
    Variant v;
    v.m_type = Type::Null;
    return v;
}

bool Variant::isNumeric() const {
    switch (m_type) {
    case Type::Boolean:
    case Type::Integer:
    case Type::Long:
    case Type::Double:
    case Type::Empty: return true;
    case Type::String: {
        double d;
        return parseNumber(std::get<std::string>(m_value), d);
    }
    default: return false;
    }
}

bool Variant::toBool() const {
    switch (m_type) {
    case Type::Empty: return false;
    case Type::Boolean: return std::get<bool>(m_value);
    case Type::Integer:
    case Type::Long: return std::get<int32_t>(m_value) != 0;
    case Type::Double:
    case Type::Date: return std::get<double>(m_value) != 0;
    case Type::String: {
        const std::string& s = std::get<std::string>(m_value);
        const std::string t = trimmed(s);
        if (iequals(t, "True")) return true;
        if (iequals(t, "False")) return false;
        double d;
        if (parseNumber(s, d)) return d != 0;
        raiseError(err::TypeMismatch);
    }
    default: raiseError(err::TypeMismatch);
    }
}

double Variant::toDouble() const {
    switch (m_type) {
    case Type::Empty: return 0;
    case Type::Boolean: return std::get<bool>(m_value) ? -1 : 0;
    case Type::Integer:
    case Type::Long: return std::get<int32_t>(m_value);
    case Type::Double:
    case Type::Date: return std::get<double>(m_value);
    case Type::String: {
        double d;
        if (parseNumber(std::get<std::string>(m_value), d)) return d;
        raiseError(err::TypeMismatch);
    }
    default: raiseError(err::TypeMismatch);
    }
}

int16_t Variant::toInt16() const { return static_cast<int16_t>(checkedRound(toDouble(), -32768.0, 32767.0)); }

int32_t Variant::toInt32() const { return static_cast<int32_t>(checkedRound(toDouble(), -2147483648.0, 2147483647.0)); }

DateTime Variant::toDate() const {
    switch (m_type) {
    case Type::Date:
    case Type::Double: return std::get<double>(m_value);
    case Type::Integer:
    case Type::Long: return std::get<int32_t>(m_value);
    case Type::Empty: return 0;
    case Type::String: {
        const std::string& s = std::get<std::string>(m_value);
        if (auto dt = parseDate(s)) return *dt;
        double d;
        if (parseNumber(s, d)) return d;
        raiseError(err::TypeMismatch);
    }
    default: raiseError(err::TypeMismatch);
    }
}

std::string Variant::toString() const {
    switch (m_type) {
    case Type::Empty:
    case Type::Missing: return {};
    case Type::Boolean: return std::get<bool>(m_value) ? "True" : "False";
    case Type::Integer:
    case Type::Long: return std::to_string(std::get<int32_t>(m_value));
    case Type::Double: return numberToText(std::get<double>(m_value));
    case Type::Date: return generalDate(std::get<double>(m_value));
    case Type::String: return std::get<std::string>(m_value);
    default: raiseError(err::TypeMismatch);
    }
}

ObjectPtr Variant::toObject() const {
    if (m_type != Type::Object) raiseError(err::TypeMismatch);
    return std::get<ObjectPtr>(m_value);
}

std::string Variant::typeName() const {
    switch (m_type) {
    case Type::Empty: return "Empty";
    case Type::Missing: return "Error";
    case Type::Null: return "Null";
    case Type::Boolean: return "Boolean";
    case Type::Integer: return "Integer";
    case Type::Long: return "Long";
    case Type::Double: return "Double";
    case Type::Date: return "Date";
    case Type::String: return "String";
    case Type::Object: {
        const ObjectPtr& o = std::get<ObjectPtr>(m_value);
        return o ? o->className() : "Nothing";
    }
    }
    return "Unknown";
}

bool Variant::operator==(const Variant& other) const { return m_type == other.m_type && m_value == other.m_value; }

} // namespace vesper
