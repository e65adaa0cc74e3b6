// The whole dialogue of a 255-angle traverse (bench/traverse_255.txt) over an
// in-memory platform: every prompt, read, computation and result line of a
// run. Each iteration is a complete run with freshly closed channels; the
// record needs no reset, since a run sets every field before it reads it.
// The platform's buffers are reset outside the timing and keep their
// capacity, so that the figure is the program's, not string growth.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "console/io_code.hpp"
#include "console/text_channel.hpp"
#include "support/allocation_counter.hpp"
#include "support/memory_platform.hpp"
#include "traverse/dialogue.hpp"

namespace traverse::bench {
namespace {

// The answer file, read once.
const std::string& TraverseInput() {
  static const std::string input = [] {
    std::ifstream file(TRAVERSE_BENCH_INPUT, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.empty()) {
      std::fprintf(stderr, "cannot read %s\n", TRAVERSE_BENCH_INPUT);
      std::exit(2);
    }
    return bytes;
  }();
  return input;
}

// Empties what the platform kept of the last run, keeping the capacity.
// (Newer platforms also keep a transcript of both output streams.)
template <class KeepingPlatform>
void ForgetOutput(KeepingPlatform& system) {
  system.output.clear();
  system.writes.clear();
  system.reads.clear();
  if constexpr (requires { system.transcript.clear(); }) system.transcript.clear();
}

// Both channels closed and nothing pending, as at the start of a process.
void FreshChannels() {
  MarkClosed(InputChannel);
  MarkClosed(OutputChannel);
  PendingIoCode = 0;
}

// Over the test platform: standard input in reads of 128 bytes, standard
// output a pipe (128-byte writes) whose bytes are kept.
void DialogueMemoryPlatform(benchmark::State& state) {
  testing::PlatformScope scope;
  testing::MemoryPlatform& system = *scope;
  const std::string& input = TraverseInput();
  system.output.reserve(64 * 1024);
  system.writes.reserve(1024);
  ForgetOutput(system);
  std::string firstOutput;
  for (auto _ : state) {
    state.PauseTiming();
    FreshChannels();
    ForgetOutput(system);
    system.SetInput(input, 128);
    state.ResumeTiming();
    RunTraverse();
    // The run is static: every iteration must write the same bytes.
    if (firstOutput.empty()) firstOutput = system.output;
    if (system.output != firstOutput) state.SkipWithError("a run wrote different bytes");
  }
  // The buffer is drained at the end of a process; here it holds the tail.
  state.counters["bytes_out"] = static_cast<double>(system.output.size() + OutputChannel.ReadPos);
}
BENCHMARK(DialogueMemoryPlatform)->Unit(benchmark::kMicrosecond);

// Over a platform that keeps nothing: the program's own cost, and its
// allocations per run (only the side answer may allocate, and "left" fits
// in the text itself).
void DialogueQuietPlatform(benchmark::State& state) {
  const std::string& input = TraverseInput();
  std::size_t allocations = 0;
  for (auto _ : state) {
    testing::QuietPlatform system(input, 128, platform::FileType::Pipe);
    testing::QuietScope scope(system);
    ErrorHook = RaiseKindFailure;
    const std::size_t before = testing::AllocationCount();
    RunTraverse();
    allocations += testing::AllocationCount() - before;
    ErrorHook = nullptr;
  }
  state.counters["allocations_per_run"] =
      benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(DialogueQuietPlatform)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace traverse::bench
