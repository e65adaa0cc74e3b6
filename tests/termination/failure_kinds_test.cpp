// Every runtime-error kind, trap code and I/O code: the class and message of
// its failure while the hooks are installed, its runtime error number while
// they are not.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "console/io_code.hpp"
#include "termination/trap_failure.hpp"
#include "run_fixture.hpp"

namespace traverse {
namespace {

using testing::RunTest;

struct KindCase {
  std::uint8_t kind;
  const char* className;
  const char* message;
  std::int32_t number;
};

class RuntimeErrorKind : public RunTest, public ::testing::WithParamInterface<KindCase> {};

// While the hooks are installed a kind raises its failure; without them the
// run ends on the runtime-error line of the kind's number.
TEST_P(RuntimeErrorKind, RaisesItsFailureOrEndsWithItsNumber) {
  const KindCase& test = GetParam();
  try {
    RaiseRuntimeError(test.kind, At(0x1234));
    FAIL() << "returned";
  } catch (const RaisedFailure& raised) {
    auto* failure = dynamic_cast<Exception*>(raised.object);
    ASSERT_NE(failure, nullptr);
    EXPECT_STREQ(failure->ClassName(), test.className);
    EXPECT_EQ(failure->Message(), test.message);
    EXPECT_EQ(raised.address, At(0x1234));
    if (test.kind == KindOutOfMemory || test.kind == KindInvalidPointer) {
      // The preallocated objects: raising them neither allocates nor releases.
      EXPECT_EQ(raised.object, test.kind == KindOutOfMemory
                                   ? static_cast<TObject*>(OutOfMemoryFailure)
                                   : static_cast<TObject*>(InvalidPointerFailure));
      EXPECT_FALSE(static_cast<EHeapException*>(raised.object)->AllowRelease);
    } else {
      delete raised.object;
    }
  }

  RemoveFailureHooks();
  EXPECT_EQ(ExitCodeOf([&] { RaiseRuntimeError(test.kind, At(0x12ABCD)); }), test.number);
  EXPECT_EQ(scope->output, "Runtime error " + std::to_string(test.number) + " at 0012ABCD\r\n");
  EXPECT_EQ(scope->error, "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RuntimeErrorKind,
    ::testing::Values(KindCase{1, "EOutOfMemory", "Out of memory", 203},
                      KindCase{2, "EInvalidPointer", "Invalid pointer operation", 204},
                      KindCase{3, "EDivByZero", "Division by zero", 200},
                      KindCase{4, "ERangeError", "Range check error", 201},
                      KindCase{5, "EIntOverflow", "Integer overflow", 215},
                      KindCase{6, "EInvalidOp", "Invalid floating point operation", 207},
                      KindCase{7, "EZeroDivide", "Floating point division by zero", 200},
                      KindCase{8, "EOverflow", "Floating point overflow", 205},
                      KindCase{9, "EUnderflow", "Floating point underflow", 206},
                      KindCase{11, "EAccessViolation", "Access violation", 216},
                      KindCase{12, "EPrivilege", "Privileged instruction", 218},
                      KindCase{13, "EControlC", "Control-C hit", 217},
                      KindCase{14, "EStackOverflow", "Stack overflow", 202},
                      // Only the low 7 bits of a kind count.
                      KindCase{128 + 7, "EZeroDivide", "Floating point division by zero", 200}),
    [](const auto& test) { return "Kind" + std::to_string(test.param.kind); });

struct IoCase {
  std::int32_t code;
  const char* message;
};

class IoCode : public RunTest, public ::testing::WithParamInterface<IoCase> {};

// Hooked: an EInOutError with the code's message, the code taken. Unhooked:
// the run ends with the code as its number, and the code stays.
TEST_P(IoCode, BecomesAnInOutErrorOrEndsWithTheCode) {
  PendingIoCode = GetParam().code;
  try {
    CheckIO();
    FAIL() << "returned";
  } catch (const RaisedFailure& raised) {
    std::unique_ptr<TObject> owned(raised.object);
    auto* failure = dynamic_cast<EInOutError*>(raised.object);
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->Message(), GetParam().message);
    EXPECT_EQ(failure->ErrorCode, GetParam().code);
    EXPECT_EQ(PendingIoCode, 0);
  }

  RemoveFailureHooks();
  PendingIoCode = GetParam().code;
  EXPECT_EQ(ExitCodeOf([] { CheckIO(); }), GetParam().code);
  EXPECT_EQ(PendingIoCode, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IoCode,
    ::testing::Values(IoCase{2, "File not found"}, IoCase{3, "Invalid filename"},
                      IoCase{4, "Too many open files"}, IoCase{5, "File access denied"},
                      IoCase{100, "Read beyond end of file"}, IoCase{101, "Disk full"},
                      IoCase{106, "Invalid numeric input"}, IoCase{104, "I/O error 104"},
                      IoCase{32, "I/O error 32"}),
    [](const auto& test) { return "Code" + std::to_string(test.param.code); });

TEST_F(RunTest, TrapCodeBecomesItsFailureKeepingTheRecord) {
  const struct {
    std::uint32_t code;
    const char* className;
    const char* message;
    std::int32_t number;
  } cases[] = {
      {0xC000008E, "EZeroDivide", "Floating point division by zero", 200},
      {0xC0000090, "EInvalidOp", "Invalid floating point operation", 207},
      {0xC0000092, "EInvalidOp", "Invalid floating point operation", 207},
      {0xC000008F, "EInvalidOp", "Invalid floating point operation", 207},
      {0xC0000091, "EOverflow", "Floating point overflow", 205},
      {0xC0000093, "EUnderflow", "Floating point underflow", 206},
      {0xC000008D, "EUnderflow", "Floating point underflow", 206},
      {0xC0000094, "EDivByZero", "Division by zero", 200},
      {0xC0000095, "EIntOverflow", "Integer overflow", 215},
      {0xC000008C, "ERangeError", "Range check error", 201},
      {0xC0000096, "EPrivilege", "Privileged instruction", 218},
      {0xC00000FD, "EStackOverflow", "Stack overflow", 202},
      {0xC000013A, "EControlC", "Control-C hit", 217},
      {0xC000001D, "EExternalException", "External exception C000001D", 255},
      {0x0000ABCD, "EExternalException", "External exception ABCD", 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "code " << std::hex << c.code);
    TrapRecord record;
    record.code = c.code;
    record.address = At(0x401000);
    std::unique_ptr<TObject> failure(FailureFromTrap(record));
    auto* external = dynamic_cast<EExternal*>(failure.get());
    ASSERT_NE(external, nullptr);
    EXPECT_STREQ(external->ClassName(), c.className);
    EXPECT_EQ(external->Message(), c.message);
    EXPECT_EQ(external->Record.code, c.code);
    EXPECT_EQ(external->Record.address, At(0x401000));
    EXPECT_EQ(TrapRuntimeErrorNumber(c.code), c.number);
  }
}

TEST_F(RunTest, AccessViolationNamesAddressModuleAndAccess) {
  TrapRecord record;
  record.code = TrapAccessViolation;
  record.address = At(0x401234);
  record.parameters[0] = 1;
  record.parameters[1] = 8;
  std::unique_ptr<TObject> write(FailureFromTrap(record));
  EXPECT_STREQ(write->ClassName(), "EAccessViolation");
  EXPECT_EQ(static_cast<Exception*>(write.get())->Message(),
            "Access violation at address 00401234 in module 'traverse.exe'. "
            "Write of address 00000008");
  EXPECT_EQ(TrapRuntimeErrorNumber(TrapAccessViolation), 216);

  scope->addressesInModule = false;
  record.parameters[0] = 0;
  record.parameters[1] = 0xFFFFFFFF;
  std::unique_ptr<TObject> read(FailureFromTrap(record));
  EXPECT_EQ(static_cast<Exception*>(read.get())->Message(),
            "Access violation at address 00401234. Read of address FFFFFFFF");
}

}  // namespace
}  // namespace traverse
