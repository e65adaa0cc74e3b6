#include "termination/report.hpp"

#include <new>
#include <string_view>

#include "console/io_code.hpp"
#include "console/text_channel.hpp"
#include "console/text_output.hpp"
#include "termination/bounded_text.hpp"
#include "termination/run_end.hpp"

namespace traverse {
namespace {

// Where the shown address of a report comes from when the address lies in no
// module: the program's image starts one page before its code.
constexpr std::uintptr_t programCodeOffset = 4096;

// The failure of a drain that fails while a trap is reported: the heap may be
// what faulted, so it is built here instead.
alignas(EInOutError) unsigned char drainFailureStorage[sizeof(EInOutError)];

// The code position just after its own call.
[[gnu::noinline]] const void* CallSite() {
  return TRAVERSE_CALLER_ADDRESS();
}

}  // namespace

std::size_t ComposeFailureReport(const TObject* failure, const void* address, char* buffer,
                                 std::size_t capacity) {
  if (capacity == 0) return 0;
  platform::Platform& system = platform::Current();
  platform::ModuleInfo module;
  std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
  std::uintptr_t shown = 0;
  if (address != nullptr && system.ModuleOf(address, module)) {
    shown = at - module.base;
  } else {
    system.ProgramFileName(module);
    shown = at >= programCodeOffset ? at - programCodeOffset : at;
  }

  std::string_view message;
  if (const auto* exception = dynamic_cast<const Exception*>(failure))
    message = exception->Message();
  bool fullStop = !message.empty() && message.back() != '.';

  BoundedText text(buffer, capacity);
  text.Append("Exception ");
  text.Append(failure != nullptr ? failure->ClassName() : "TObject");
  text.Append(" in module ");
  text.Append(module.fileName);
  text.Append(" at ");
  text.AppendHex(shown, 8);
  text.Append(".\r\n");
  text.Append(message);
  if (fullStop) text.Append('.');
  text.Append("\r\n");
  return text.Length();
}

std::int32_t DrainBeforeReport() {
  if (OutputChannel.State != ChannelOutput && OutputChannel.State != ChannelInOut) return 0;
  return DrainOutput(OutputChannel);
}

void WriteFailureReport(const TObject* failure, const void* address) {
  char report[ReportCapacity];
  std::size_t length = ComposeFailureReport(failure, address, report, sizeof report);
  platform::Current().ToConsoleCodePage(report, length);
  WriteToStandardHandle(platform::StdHandle::Error, report, length);
  WriteToStandardHandle(platform::StdHandle::Error, "\r\n", 2);
}

void ReportFailure(TObject* failure, const void* address) {
  // Everything written before the failure reaches standard output before the
  // report reaches standard error; when that write fails, its failure is the
  // one reported (CheckIO raises it, and the top-level handler starts again).
  std::int32_t code = DrainBeforeReport();
  if (code != 0) PendingIoCode = code;
  CheckIO();
  WriteFailureReport(failure, address);
  EndRun(1);
}

void ReportTrapFailure(TObject* failure, const void* address) {
  std::int32_t code = DrainBeforeReport();
  if (code != 0) {
    char message[32];
    std::size_t length = IoMessage(code, message);
    failure = new (drainFailureStorage) EInOutError(std::string_view(message, length), code);
    address = CallSite();
  }
  ReportedFailure = {failure, address};
  WriteFailureReport(failure, address);
  EndRun(1);
}

void WriteToStandardHandle(platform::StdHandle which, const char* text, std::size_t length) {
  platform::Platform& system = platform::Current();
  std::int32_t code = 0;
  platform::Handle handle = system.GetStdHandle(which, code);
  if (handle == platform::InvalidHandle) return;
  while (length > 0) {
    platform::Transfer put = system.Write(handle, text, static_cast<std::uint32_t>(length));
    if (put.code != 0 || put.bytes == 0) return;
    text += put.bytes;
    length -= put.bytes;
  }
}

}  // namespace traverse
