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

// CLI11 also defines eight ready-made validators (ExistingFile, ValidIPV4,
// Number, PositiveNumber and others) as constant objects at namespace scope.
// Each file that includes it builds all eight before main, with their
// std::function and std::string members: in the statically linked program
// that ran in every dialogue, touching pages of CLI11's code, the heap and the
// exit handlers list for objects only `traverse adjust` could use, and this
// program uses none of them. The macros below turn each definition into the
// declaration of a function nobody defines, so no object is built; a use of
// one of these names after this header does not compile, and a use inside
// CLI11 would not link.
#define ExistingFile ExistingFile_not_built()
#define ExistingDirectory ExistingDirectory_not_built()
#define ExistingPath ExistingPath_not_built()
#define NonexistentPath NonexistentPath_not_built()
#define ValidIPV4 ValidIPV4_not_built()
#define Number(...) Number_not_built()
#define NonNegativeNumber(...) NonNegativeNumber_not_built()
#define PositiveNumber(...) PositiveNumber_not_built()
#include <CLI/CLI.hpp>
#undef ExistingFile
#undef ExistingDirectory
#undef ExistingPath
#undef NonexistentPath
#undef ValidIPV4
#undef Number
#undef NonNegativeNumber
#undef PositiveNumber
