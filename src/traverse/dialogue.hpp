// The program's main sequence: the one console dialogue of a run.
#pragma once

namespace traverse {

// Asks for the four known points, the angle side, the count, the angles and
// the lengths; adjusts the traverse; writes one result line per new point;
// waits for Enter at the exit prompt and returns. Every failure leaves by
// the failure path, never by return.
void RunTraverse();

}  // namespace traverse
