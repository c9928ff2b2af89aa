// Standard input as a terminal: whether it is one, and typing without echo.
// The only place that knows the platform's terminal interface; one
// implementation file per platform.
#ifndef KOLVADEX_PLATFORM_TERMINAL_H_
#define KOLVADEX_PLATFORM_TERMINAL_H_

namespace kolvadex::platform {

bool StandardInputIsTerminal();

// While an EchoOff lives, what is typed on the terminal of standard input is
// not shown. It does nothing when standard input is not a terminal. The echo
// comes back when the object goes away, and also when the process is ended by
// an interrupt, quit, hang-up or termination signal meanwhile.
class EchoOff {
 public:
  EchoOff();
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  ~EchoOff();

 private:
  bool active_ = false;
};

}  // namespace kolvadex::platform

#endif  // KOLVADEX_PLATFORM_TERMINAL_H_
