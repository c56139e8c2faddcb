// What the guide's tests share: the sample listings and the time zone they
// are read in.
#pragma once

#include "listings/guide_store.h"
#include "platform/testing/test_env.h"

#include <cstdlib>
#include <ctime>
#include <string>

namespace vesper::listings::test {

inline QString sample(const char* name) { return QStringLiteral(LISTINGS_TEST_DATA "/") + name; }

// Central European time, daylight-saving rules included, written out so that
// no zone database is needed: the samples span the night the clocks go
// forward (31 March 2030).
inline void useCentralEuropeanTime() {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
}

// A fresh guide database in the test folder.
inline QString freshDatabase() {
    static int n = 0;
    return QString::fromStdString(vesper::test::makeFolder("guide" + std::to_string(++n))) + "/guide.sqlite";
}

// Seconds since the epoch of a UTC date and time.
inline qint64 utc(int y, int mo, int d, int h = 0, int mi = 0) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    return static_cast<qint64>(timegm(&t));
}

} // namespace vesper::listings::test
