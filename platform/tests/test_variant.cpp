#include "platform/errors.h"
#include "platform/variant.h"

#include <gtest/gtest.h>

using namespace vesper;

namespace {
int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const AutomationError& e) {
        return e.number();
    }
    return 0;
}
} // namespace

TEST(Variant, IntegerConversionRoundsHalvesToEven) {
    EXPECT_EQ(Variant(2.5).toInt16(), 2);
    EXPECT_EQ(Variant(3.5).toInt16(), 4);
    EXPECT_EQ(Variant(-2.5).toInt16(), -2);
    EXPECT_EQ(Variant(2.51).toInt16(), 3);
    EXPECT_EQ(Variant("  7.5 ").toInt16(), 8);
    EXPECT_EQ(Variant(true).toInt16(), -1);
    EXPECT_EQ(Variant().toInt16(), 0);
}

TEST(Variant, OverflowAndTypeMismatch) {
    EXPECT_EQ(Variant(32767.4).toInt16(), 32767);
    EXPECT_EQ(errorOf([] { Variant(32767.5).toInt16(); }), err::Overflow);
    EXPECT_EQ(errorOf([] { Variant(-32768.6).toInt16(); }), err::Overflow);
    EXPECT_EQ(errorOf([] { Variant("40000").toInt16(); }), err::Overflow);
    EXPECT_EQ(errorOf([] { Variant("abc").toInt16(); }), err::TypeMismatch);
    EXPECT_EQ(errorOf([] { Variant("").toDouble(); }), err::TypeMismatch);
    EXPECT_EQ(errorOf([] { Variant("12abc").toInt32(); }), err::TypeMismatch);
    EXPECT_EQ(errorOf([] { Variant(3e10).toInt32(); }), err::Overflow);
    EXPECT_EQ(errorOf([] { Variant::nothing().toString(); }), err::TypeMismatch);
}

TEST(Variant, BooleanTexts) {
    EXPECT_TRUE(Variant("True").toBool());
    EXPECT_TRUE(Variant("tRUE").toBool());
    EXPECT_FALSE(Variant("FALSE").toBool());
    EXPECT_TRUE(Variant("-1").toBool());
    EXPECT_TRUE(Variant("0.5").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_EQ(errorOf([] { Variant("yes").toBool(); }), err::TypeMismatch);
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_EQ(Variant(false).toString(), "False");
}

TEST(Variant, NumbersAndDatesToText) {
    EXPECT_EQ(Variant(0.5).toString(), "0.5");
    EXPECT_EQ(Variant(static_cast<int16_t>(-3)).toString(), "-3");
    EXPECT_EQ(Variant(1e16).toString(), "1E+16");
    EXPECT_EQ(Variant(1.0 / 3).toString(), "0.333333333333333");
    EXPECT_EQ(Variant::date(makeDate(2002, 4, 20, 20)).toString(), "4/20/2002 8:00:00 PM");
    EXPECT_DOUBLE_EQ(Variant("4/20/2002").toDate(), makeDate(2002, 4, 20));
    EXPECT_EQ(errorOf([] { Variant("not a date").toDate(); }), err::TypeMismatch);
    EXPECT_TRUE(Variant::missing().isOmitted());
    EXPECT_NE(Variant(""), Variant());
}

TEST(ErrorTrap, KeepsTheLastErrorAndGoesOn) {
    ErrorTrap trap;
    int ran = 0;
    trap.step([&] { raiseError(err::TypeMismatch, "First"); });
    trap.step([&] { ++ran; });
    trap.step([&] { raiseError(err::Overflow, "Second"); });
    trap.step([&] { ++ran; });
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(trap.text(), "Second:6:Overflow");
    trap.clear();
    EXPECT_FALSE(trap.failed());
    EXPECT_EQ(trap.text(), "");
}
