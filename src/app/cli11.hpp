// CLI11 without the standard streams' start-up.
//
// CLI11's headers include <iostream>, which in libstdc++ puts a static
// initialiser into every file that includes it: the standard streams and the
// classic locale with all its facets are built before main in every run. In
// the statically linked program that is a dozen page faults, a quarter of a
// millisecond that the dialogue, which never uses the streams, paid on every
// run (measured against the same program without it, alternating runs). CLI11
// itself writes to std::cout only for deprecated and retired options and in
// App::exit, none of which this program uses: its messages go through the
// platform layer. So <iostream>'s declarations are given here without its
// initialiser. Nothing in the program may use std::cin, std::cout, std::cerr
// or std::clog (the program has no reference to them; `nm` shows it).
#pragma once

#include <istream>
#include <ostream>

#if defined(__GLIBCXX__) && !defined(_GLIBCXX_IOSTREAM)
#define _GLIBCXX_IOSTREAM 1
namespace std {
extern istream cin;
extern ostream cout;
extern ostream cerr;
extern ostream clog;
}  // namespace std
#endif

#include <CLI/CLI.hpp>
