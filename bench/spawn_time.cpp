// Times whole processes the way a script runs them: standard input from a
// file, standard output to a file, no shell in between. The commands are run
// in turns (one run of each per round, the order swapped every round), so that
// a change in the machine's load falls on all of them alike; each run's wall
// time and CPU time (user + system, from wait4) are kept, and the medians are
// printed. (Peak resident memory is left to GNU time: a child started by
// posix_spawn shares the parent's memory until it execs, and wait4 reports
// the parent's peak for it.)
//
//   spawn_time INPUT OUTPUT ROUNDS COMMAND...
//
// A COMMAND is a program's path, or the path and its arguments separated by
// blanks ("traverse adjust --format json").
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Sample {
  double wallMs;
  double cpuMs;
};

double Milliseconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The words of a command, split at blanks.
std::vector<std::string> Words(const std::string& command) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while ((at = command.find_first_not_of(' ', at)) != std::string::npos) {
    const std::size_t end = command.find(' ', at);
    words.push_back(command.substr(at, end - at));
    at = end;
  }
  return words;
}

// Runs `command` once with the given input and output files; exits on failure.
Sample RunOnce(const std::string& command, const char* input, const char* output) {
  std::vector<std::string> words = Words(command);
  const std::string& program = words.at(0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    std::perror(program.c_str());
    std::exit(2);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  clock_gettime(CLOCK_MONOTONIC, &end);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s did not end with exit code 0\n", program.c_str());
    std::exit(1);
  }
  const double wall = static_cast<double>(end.tv_sec - start.tv_sec) * 1e3 +
                      static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e6;
  return {wall, Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: spawn_time INPUT OUTPUT ROUNDS COMMAND...\n");
    return 2;
  }
  const char* input = argv[1];
  const char* output = argv[2];
  const int rounds = std::atoi(argv[3]);
  const std::vector<std::string> programs(argv + 4, argv + argc);
  std::vector<std::vector<Sample>> samples(programs.size());
  for (std::size_t i = 0; i < programs.size(); ++i) RunOnce(programs[i], input, output);  // warm-up
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < programs.size(); ++k) {
      const std::size_t i = round % 2 == 0 ? k : programs.size() - 1 - k;
      samples[i].push_back(RunOnce(programs[i], input, output));
    }
  }
  for (std::size_t i = 0; i < programs.size(); ++i) {
    std::vector<double> wall, cpu;
    for (const Sample& sample : samples[i]) {
      wall.push_back(sample.wallMs);
      cpu.push_back(sample.cpuMs);
    }
    std::printf("%s %d runs: wall median %.3f ms, CPU median %.3f ms\n", programs[i].c_str(),
                rounds, Median(wall), Median(cpu));
  }
  return 0;
}
