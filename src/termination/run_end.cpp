#include "termination/run_end.hpp"

#include <cstdlib>
#include <new>

#include "console/text_channel.hpp"
#include "console/text_output.hpp"
#include "failure/float_checks.hpp"
#include "platform/platform.hpp"
#include "termination/bounded_text.hpp"
#include "termination/failure_hooks.hpp"
#include "termination/report.hpp"

namespace traverse {

std::int32_t ExitStatus = 0;
const void* RuntimeErrorAddress = nullptr;
RaisedFailure ReportedFailure = {nullptr, nullptr};

namespace {

// The runtime error number of a failure that cannot be reported.
constexpr std::int32_t unreportedFailureNumber = 217;

// A report can be replaced by the failure of its own forced drain, which
// cannot fail twice because the drain empties the buffer. Any more passes
// mean the report itself keeps failing; the run then ends on the fallback line.
constexpr int reportPasses = 4;

// The fallback line on standard output: waiting bytes go first, so that the
// line comes after everything written before it.
void WriteRuntimeErrorLine() {
  if (OutputChannel.State == ChannelOutput && OutputChannel.ReadPos != 0)
    DrainOutput(OutputChannel);  // a failure here changes nothing
  char line[RuntimeErrorLineCapacity];
  std::size_t length = FormatRuntimeErrorLine(ExitStatus, RuntimeErrorAddress, line, sizeof line);
  WriteToStandardHandle(platform::StdHandle::Output, line, length);
}

}  // namespace

std::size_t FormatRuntimeErrorLine(std::int32_t number, const void* address, char* line,
                                   std::size_t capacity) {
  BoundedText text(line, capacity);
  text.Append("Runtime error ");
  text.AppendDecimal(number, 3);
  text.Append(" at ");
  text.AppendHex(reinterpret_cast<std::uintptr_t>(address), 8);
  text.Append("\r\n");
  return text.Length();
}

void TopLevelHandler(TObject* failure, const void* address) {
  for (int pass = 0; pass < reportPasses && ReportHook != nullptr; ++pass) {
    // Pending floating-point faults are dropped; the report computes in the
    // start-up environment.
    ResetFloatingPoint();
    ReportedFailure = {failure, address};
    try {
      ReportHook(failure, address);
      EndRun(1);  // a report hook ends the run itself; this is for one that does not
    } catch (const RaisedFailure& raised) {
      failure = raised.object;
      address = raised.address;
    } catch (const std::bad_alloc&) {
      if (OutOfMemoryFailure == nullptr)
        RuntimeErrorExit(RuntimeErrorNumber(KindOutOfMemory), address);
      failure = OutOfMemoryFailure;
    }
  }
  ReportedFailure = {failure, address};
  RuntimeErrorExit(unreportedFailureNumber, address);
}

void EndRun(std::int32_t code) {
  ExitStatus = code;
  if (RuntimeErrorAddress != nullptr) {
    WriteRuntimeErrorLine();
    RuntimeErrorAddress = nullptr;
  }
  // Finalisation, the reverse of start-up: the failure hooks first, then the
  // console channels. The last bytes of standard output are written here; a
  // failure of that write is ignored, the run is ending either way.
  RemoveFailureHooks();
  CloseChannel(InputChannel);
  if (OutputChannel.State == ChannelOutput || OutputChannel.State == ChannelInOut)
    DrainOutput(OutputChannel);
  CloseChannel(OutputChannel);
  platform::Current().ExitProcess(ExitStatus);
  std::abort();  // unreachable: no platform's exit returns
}

void RuntimeErrorExit(std::int32_t number, const void* address) {
  RuntimeErrorAddress = address;
  EndRun(number);
}

}  // namespace traverse
