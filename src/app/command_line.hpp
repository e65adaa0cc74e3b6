// The command line beside the dialogue: `traverse adjust`, --help and
// --version.
#pragma once

namespace traverse {

// Exit codes of the command line.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitBadInput = 1;   // unreadable answers, a traverse that cannot be adjusted
inline constexpr int ExitUsage = 2;      // an unknown option or value
inline constexpr int ExitTolerance = 3;  // a tolerance exceeded; the report is written in full

// Parses the arguments and runs what they ask for; returns the exit code.
// Messages go to standard error, results to standard output or the output
// file.
int RunCommandLine(int argc, char** argv);

}  // namespace traverse
