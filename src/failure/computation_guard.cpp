#include "failure/computation_guard.hpp"

namespace traverse {
namespace {

void RaiseKind(std::uint8_t kind, const void* address) {
  TObject* failure = NewKindFailure(kind);
  if (failure == nullptr) failure = new Exception("Runtime error");
  RaiseFailure(failure, address);
}

}  // namespace

FailuresAsExceptions::FailuresAsExceptions() : saved_(ErrorHook) {
  ErrorHook = RaiseKind;
}

FailuresAsExceptions::~FailuresAsExceptions() {
  ErrorHook = saved_;
}

std::string TakeFailureMessage(const RaisedFailure& failure) {
  std::string message = "computation failed";
  if (const auto* exception = dynamic_cast<const Exception*>(failure.object))
    message = std::string(exception->Message());
  // The preallocated heap failures belong to the hooks; the rest were made
  // for this raise.
  if (dynamic_cast<const EHeapException*>(failure.object) == nullptr) delete failure.object;
  return message;
}

}  // namespace traverse
