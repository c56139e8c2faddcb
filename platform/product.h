// Who we are, as every program and the package tell it: the product's name,
// its version text, its web site and where support requests go.
#pragma once

namespace vesper {

inline constexpr const char* kProductName = "Vesper Home";
// The main program's version text, shown after a "v", appended to the
// per-version values, and the package's version.
inline constexpr const char* kVersionText = "1.1.214h";
// The product's web site (notice pages), and where support requests go.
inline constexpr const char* kProductSite = "https://www.vesper-home.org";
inline constexpr const char* kSupportEmail = "support@vesper-home.org";

} // namespace vesper
