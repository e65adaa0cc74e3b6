#include "traverse/traverse.hpp"

namespace traverse {

// Default-initialised on purpose: the static zero fill is the start value, and
// a value-initialisation would write every page of the tables.
TTraverse TraverseRecord;

}  // namespace traverse
