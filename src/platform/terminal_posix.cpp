#include <termios.h>
#include <unistd.h>

#include <array>
#include <csignal>

#include "platform/terminal.h"

namespace kolvadex::platform {
namespace {

constexpr std::array<int, 4> kEndingSignals = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};

// The terminal settings to restore when a signal ends the process while echo
// is off. A signal handler can reach nothing else, so this is the one piece of
// process-wide state here; it mirrors the terminal, which is process-wide too.
struct SavedTerminal {
  termios settings{};
  std::array<struct sigaction, kEndingSignals.size()> handlers{};
};
SavedTerminal saved_terminal;

void RestoreAndRaise(int signal_number) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal.settings);
  // The default action ends the process as the signal meant to.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal_number, &fallback, nullptr);
  static_cast<void>(raise(signal_number));
}

}  // namespace

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

EchoOff::EchoOff() {
  termios settings{};
  if (isatty(STDIN_FILENO) != 1 || tcgetattr(STDIN_FILENO, &settings) != 0) return;
  saved_terminal.settings = settings;
  struct sigaction handler {};
  handler.sa_handler = RestoreAndRaise;
  sigemptyset(&handler.sa_mask);
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    sigaction(kEndingSignals[i], &handler, &saved_terminal.handlers[i]);
  }
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  settings.c_lflag |= static_cast<tcflag_t>(ECHONL);  // the Enter still ends the line visibly
  active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings) == 0;
  if (!active_) {
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
      sigaction(kEndingSignals[i], &saved_terminal.handlers[i], nullptr);
    }
  }
}

EchoOff::~EchoOff() {
  if (!active_) return;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal.settings);
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    sigaction(kEndingSignals[i], &saved_terminal.handlers[i], nullptr);
  }
}

}  // namespace kolvadex::platform
