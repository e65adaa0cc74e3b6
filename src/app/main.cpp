// The program entry: start-up, the traverse dialogue, and the end of the run.
#include "termination/start_run.hpp"
#include "traverse/dialogue.hpp"

int main() {
  traverse::RunProgram(traverse::RunTraverse);
}
