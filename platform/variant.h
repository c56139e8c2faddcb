// The automation value: what a late-bound call passes and returns.
#pragma once

#include "platform/dates.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace vesper {

class Object;
using ObjectPtr = std::shared_ptr<Object>;

class Variant {
public:
    enum class Type { Empty, Missing, Null, Boolean, Integer, Long, Double, Date, String, Object };

    struct DateValue {
        DateTime value;
    };

    Variant() = default;
    Variant(bool b) : m_type(Type::Boolean), m_value(b) {}
    Variant(int16_t i) : m_type(Type::Integer), m_value(static_cast<int32_t>(i)) {}
    Variant(int32_t i) : m_type(Type::Long), m_value(i) {}
    Variant(double d) : m_type(Type::Double), m_value(d) {}
    Variant(std::string s) : m_type(Type::String), m_value(std::move(s)) {}
    Variant(const char* s) : m_type(Type::String), m_value(std::string(s)) {}
    Variant(ObjectPtr o) : m_type(Type::Object), m_value(std::move(o)) {}

    static Variant date(DateTime dt);
    static Variant missing();
    static Variant null();
    static Variant nothing() { return Variant(ObjectPtr{}); }

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }
    bool isMissing() const { return m_type == Type::Missing; }
    bool isObject() const { return m_type == Type::Object; }
    bool isString() const { return m_type == Type::String; }
    bool isNumeric() const;
    // Missing or Empty: an optional argument that was not really given.
    bool isOmitted() const { return m_type == Type::Missing || m_type == Type::Empty; }

    // Conversions with the classic rules; a value that cannot convert raises
    // error 13, one that does not fit raises error 6.
    bool toBool() const;
    int16_t toInt16() const;
    int32_t toInt32() const;
    double toDouble() const;
    DateTime toDate() const;
    std::string toString() const;
    ObjectPtr toObject() const; // error 13 unless an object (Nothing gives nullptr)

    // The name of the type as TypeName gives it ("Integer", "String", ...).
    std::string typeName() const;

    bool operator==(const Variant& other) const;

private:
    Type m_type = Type::Empty;
    std::variant<std::monostate, bool, int32_t, double, std::string, ObjectPtr> m_value;
};

// Halves go to the even neighbour, as the classic integer conversions do.
double roundHalfEven(double v);
// Text to number with the classic rules: optional blanks, sign, digits, one
// decimal point, an exponent, "&H" hexadecimal. Nothing else may follow.
bool parseNumber(const std::string& text, double& out);
// Number to text as the classic string conversion does: up to 15 significant
// digits, no trailing zeros, exponent form for very large or small values.
std::string numberToText(double v);

} // namespace vesper
