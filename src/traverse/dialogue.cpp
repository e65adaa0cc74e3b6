#include "traverse/dialogue.hpp"

#include <cstdint>
#include <string_view>

#include "console/io_code.hpp"
#include "console/text_input.hpp"
#include "console/text_output.hpp"
#include "failure/failures.hpp"
#include "failure/float_checks.hpp"
#include "platform/platform.hpp"
#include "traverse/angular_closure.hpp"
#include "traverse/grid_bearing.hpp"
#include "traverse/linear_closure.hpp"
#include "traverse/traverse.hpp"

namespace traverse {
namespace {

// The angle count as typed, or ERangeError when it lies outside 0 to 255: a
// count that kept only its low 8 bits would ask for a different number of
// angles without a word.
[[gnu::noinline]] std::uint8_t CountInRange(std::int32_t count) {
  if (count < 0 || count > 255) RaiseRuntimeError(KindRangeError, TRAVERSE_CALLER_ADDRESS());
  return static_cast<std::uint8_t>(count);
}

// Write statement: one line of text.
void Prompt(std::string_view text) {
  WriteText(OutputChannel, text);
  WriteLineEnd(OutputChannel);
  CheckIO();
}

// Write statement: an empty line.
void EmptyLine() {
  WriteLineEnd(OutputChannel);
  CheckIO();
}

// Write statement: a text and a running number, as "Enter the measured angle 3".
void NumberedPrompt(std::string_view text, int number) {
  WriteText(OutputChannel, text);
  WriteInteger(OutputChannel, number);
  WriteLineEnd(OutputChannel);
  CheckIO();
}

// Read statement: one real into `field`.
void ReadRealInto(double& field) {
  field = StoreReal(ReadReal(InputChannel));
  SkipLine(InputChannel);
  CheckIO();
}

// Prompts for X and Y of a known point, then an empty line.
void ReadKnownPoint(std::string_view xPrompt, double& x, std::string_view yPrompt, double& y) {
  Prompt(xPrompt);
  ReadRealInto(x);
  Prompt(yPrompt);
  ReadRealInto(y);
  EmptyLine();
}

// Write statement: "The coordinate of point i: X= ...m, Y= ...m".
void WriteResultLine(const TTraverse& traverse, int i) {
  WriteText(OutputChannel, "The coordinate of point ");
  WriteInteger(OutputChannel, i);
  WriteText(OutputChannel, ": X= ");
  WriteFixed(OutputChannel, traverse.PointX[i], 5, 2);
  WriteText(OutputChannel, "m, Y= ");
  WriteFixed(OutputChannel, traverse.PointY[i], 5, 2);
  WriteText(OutputChannel, 'm');
  WriteLineEnd(OutputChannel);
  CheckIO();
}

}  // namespace

void RunTraverse() {
  TTraverse& traverse = TraverseRecord;
  platform::KeepMemorySparse(&traverse, sizeof traverse);

  ReadKnownPoint("Enter the X coordinate of point A ", traverse.XA,
                 "Enter the Y coordinate of point A ", traverse.YA);
  ReadKnownPoint("Enter the X coordinate of point B ", traverse.XB,
                 "Enter the Y coordinate of point B ", traverse.YB);
  ReadKnownPoint("Enter the X coordinate of point C ", traverse.XC,
                 "Enter the Y coordinate of point C ", traverse.YC);
  ReadKnownPoint("Enter the X coordinate of point D ", traverse.XD,
                 "Enter the y coordinate of point D ", traverse.YD);

  Prompt("Measured angles <left/right>");
  ReadText(InputChannel, traverse.AngleSide);
  SkipLine(InputChannel);
  CheckIO();

  Prompt("Enter the number of measured angles ");
  const std::int32_t count = ReadInteger(InputChannel);
  SkipLine(InputChannel);
  CheckIO();
  traverse.AngleCount = CountInRange(count);
  const int n = traverse.AngleCount;

  CoordinateDifferences(traverse.XA, traverse.YA, traverse.XB, traverse.YB, traverse.DxAB,
                        traverse.DyAB);
  EmptyLine();
  traverse.BearingAB = GridBearing(traverse.DxAB, traverse.DyAB);

  CoordinateDifferences(traverse.XC, traverse.YC, traverse.XD, traverse.YD, traverse.DxCD,
                        traverse.DyCD);
  EmptyLine();
  traverse.BearingCD = GridBearing(traverse.DxCD, traverse.DyCD);

  traverse.MeasuredAngleSum = 0;
  for (int i = 1; i <= n; ++i) {
    NumberedPrompt("Enter the measured angle ", i);
    ReadRealInto(traverse.MeasuredAngle[i]);
    traverse.MeasuredAngleSum = RunningSum(traverse.MeasuredAngleSum, traverse.MeasuredAngle[i]);
  }

  AdjustAngles(traverse);
  EmptyLine();

  // The increments of a leg are taken as soon as its length is known.
  traverse.SumLength = 0;
  for (int i = 1; i <= n - 1; ++i) {
    NumberedPrompt("Enter the measured length ", i);
    ReadRealInto(traverse.LegLength[i]);
    LegIncrements(traverse, static_cast<std::uint8_t>(i));
    traverse.SumLength = RunningSum(traverse.SumLength, traverse.LegLength[i]);
  }

  AdjustIncrements(traverse);

  for (int i = 1; i <= n - 2; ++i) {
    NextPoint(traverse, static_cast<std::uint8_t>(i));
    EmptyLine();
    EmptyLine();
    WriteResultLine(traverse, i);
  }

  for (int line = 0; line < 5; ++line) EmptyLine();

  WriteText(OutputChannel, "*Press Enter to exit*");
  FlushOutput(OutputChannel);
  CheckIO();

  SkipLine(InputChannel);
  CheckIO();
}

}  // namespace traverse
