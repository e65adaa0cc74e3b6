// The program on a terminal: every prompt must be on the screen before the
// operator types its answer, and the exit prompt before Enter; nothing may
// wait in a buffer for an answer the operator cannot know to give.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.hpp"

namespace traverse::e2e {
namespace {

// The program on the far side of a pseudo-terminal. The terminal reads lines
// but does not echo them, and passes output bytes as written, so that the
// screen holds exactly what the program wrote.
class Terminal {
 public:
  explicit Terminal(const char* program) {
    child_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (child_ == 0) {
      termios modes{};
      tcgetattr(STDIN_FILENO, &modes);
      modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
      modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
      tcsetattr(STDIN_FILENO, TCSANOW, &modes);
      execl(program, program, static_cast<char*>(nullptr));
      _exit(127);
    }
  }

  ~Terminal() {
    if (child_ > 0 && !ended_) {
      kill(child_, SIGKILL);
      int status = 0;
      waitpid(child_, &status, 0);
    }
    if (master_ >= 0) close(master_);
  }

  bool Started() const { return child_ > 0 && master_ >= 0; }

  // Reads the screen until it holds exactly `expected`, or more than it, or
  // two seconds pass; returns the screen.
  const std::string& ShowUntil(std::string_view expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (screen_.size() < expected.size()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd ready{master_, POLLIN, 0};
      const int polled = poll(&ready, 1, static_cast<int>(left));
      if (polled < 0 && errno == EINTR) continue;
      if (polled <= 0) break;
      char block[512];
      const ssize_t got = read(master_, block, sizeof block);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // EIO: the program has closed the terminal
      screen_.append(block, static_cast<std::size_t>(got));
    }
    return screen_;
  }

  void Type(std::string_view line) {
    std::string typed(line);
    typed += '\n';
    ASSERT_EQ(write(master_, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  }

  // Whether the program is still running.
  bool Running() {
    int status = 0;
    return waitpid(child_, &status, WNOHANG) == 0;
  }

  // The exit code after the program has ended, within two seconds; -1 when it
  // ended otherwise or not at all.
  int ExitCode() {
    for (int wait = 0; wait < 2000; ++wait) {
      int status = 0;
      if (waitpid(child_, &status, WNOHANG) == child_) {
        ended_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(1000);
    }
    return -1;
  }

 private:
  int master_ = -1;
  pid_t child_ = -1;
  bool ended_ = false;
  std::string screen_;
};

// The length of `transcript` up to the end of the n-th line that asks for an
// answer (a line that is not empty).
std::size_t EndOfPrompt(std::string_view transcript, int n) {
  std::size_t at = 0;
  for (int seen = 0;;) {
    const std::size_t end = transcript.find("\r\n", at) + 2;
    if (end - at > 2 && ++seen == n) return end;
    at = end;
  }
}

TEST(TerminalEndToEnd, EachPromptIsOnTheScreenBeforeItsAnswerIsTyped) {
  const std::string input = ReadExample("worked_left.txt");
  const std::string transcript = ReadExample("worked.expected");
  std::vector<std::string> answers;
  for (std::size_t at = 0, end; (end = input.find('\n', at)) != std::string::npos; at = end + 1)
    answers.push_back(input.substr(at, end - at));
  ASSERT_EQ(answers.size(), 18u);  // 17 answers and the Enter at the exit prompt

  Terminal terminal(PROGRAM_UNDER_TEST);
  ASSERT_TRUE(terminal.Started());
  for (int k = 1; k <= 17; ++k) {
    const std::string_view shown =
        std::string_view(transcript).substr(0, EndOfPrompt(transcript, k));
    ASSERT_EQ(terminal.ShowUntil(shown), shown) << "before answer " << k;
    terminal.Type(answers[static_cast<std::size_t>(k - 1)]);
  }
  // The exit prompt has no line end, and the program waits for Enter.
  ASSERT_EQ(terminal.ShowUntil(transcript), transcript);
  EXPECT_TRUE(terminal.Running());
  terminal.Type("");
  EXPECT_EQ(terminal.ExitCode(), 0);
}

}  // namespace
}  // namespace traverse::e2e
