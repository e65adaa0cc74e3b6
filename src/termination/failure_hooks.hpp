// The failure hooks of a run and their phases. Before InstallFailureHooks and
// after RemoveFailureHooks the hooks are empty, and every failure ends the run
// through the runtime-error line; in between, every failure ends in one
// report and exit code 1.
#pragma once

namespace traverse {

// Sets ErrorHook, TrapHook and ReportHook and creates the preallocated
// EOutOfMemory ("Out of memory") and EInvalidPointer ("Invalid pointer
// operation"), which may not be released until the hooks are removed.
void InstallFailureHooks();

// Empties the hooks and releases the preallocated failures; harmless when the
// hooks are not installed.
void RemoveFailureHooks();

}  // namespace traverse
