// The life of a run from the program entry: start-up, the dialogue under the
// top-level handler, and the end with exit code 0 or one report and 1.
#pragma once

namespace traverse {

// Start-up, in order: the floating-point environment, the console channels
// marked closed (each opens on first use), SIGPIPE ignored so that a gone
// reader is a write error, the fallback end of a run, the trap handlers and
// the terminate handler (the outermost handlers), then the failure hooks.
void StartRun();

// Runs `dialogue` inside the one top-level try. At a normal end the last
// bytes of standard output are written and checked (a failed write is a
// failure like any other) and the run ends with exit code 0; a failure of
// any kind ends in TopLevelHandler. Does not return.
[[noreturn]] void RunDialogue(void (*dialogue)());

// StartRun, then RunDialogue: the whole program.
[[noreturn]] void RunProgram(void (*dialogue)());

// Inside a catch block: hands the C++ exception in flight to TopLevelHandler
// as the failure it stands for (RaisedFailure as raised, std::bad_alloc as the
// preallocated EOutOfMemory, any other as a failure of its own).
[[noreturn, gnu::noinline]] void HandleCurrentException();

}  // namespace traverse
