// The program entry: with no arguments the console dialogue, exactly as it
// always was; with arguments the command line (`traverse adjust`, --help,
// --version).
#include "app/command_line.hpp"
#include "termination/run_end.hpp"
#include "termination/start_run.hpp"
#include "traverse/dialogue.hpp"

int main(int argc, char** argv) {
  if (argc <= 1) traverse::RunProgram(traverse::RunTraverse);

  // The same start-up as the dialogue: the floating-point environment the
  // computations are defined in, and one report for a fault nobody expected.
  traverse::StartRun();
  int code = 1;
  try {
    code = traverse::RunCommandLine(argc, argv);
  } catch (...) {
    traverse::HandleCurrentException();
  }
  traverse::EndRun(code);
}
