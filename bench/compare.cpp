// Whole-run comparison: runs a few commands as processes, interleaved (round
// r starts with command r mod n, so neither machine drift nor the position in
// the round favours one of them), and prints the medians of wall time, CPU
// time (user + system) and peak resident memory, each with its ratio to the
// floor command, followed by the targets and whether they were met.
//
//   kolvadex_compare [--runs N] [--warmup N] [--title TEXT]
//                    [--wall-target R] [--memory-target R]
//                    --floor LABEL STATUS PROGRAM ARG... ';'
//                    --tool LABEL STATUS PROGRAM ARG... ';'
//                    [--peer LABEL STATUS PROGRAM ARG... ';']...
//                    [--other LABEL STATUS PROGRAM ARG... ';']...
//
// STATUS is the exit status a run must end with; any other status stops the
// comparison with the command's output (exit status 1). Targets: the tool's
// median wall time at most R times the floor's (--wall-target), faster than
// every peer, and its median peak memory at most R times the floor's
// (--memory-target). Other commands are shown without a target. A missed
// target is reported, not an error: the exit status is 0 whenever every run
// ended as expected.
//
// Each run is a fork and exec; the wall time runs from just before the fork
// to the return of wait4, whose resource usage gives the CPU time and the
// peak resident set (ru_maxrss). The peak includes what the forked child held
// before the exec (the anonymous memory of this small program), so a trivial
// command (--other ... /bin/true) shows the floor of that measure. The
// commands' output goes to a scratch file that is shown only when a run fails.
//
// The load of the machine is reported as the load average before and after,
// and as the CPU time that other processes used while the comparison ran.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

enum class Role { kFloor, kTool, kPeer, kOther };

struct Command {
  Role role = Role::kOther;
  std::string label;
  int expected_status = 0;
  std::vector<std::string> argv;
  std::vector<double> wall_ms;
  std::vector<double> cpu_ms;
  std::vector<double> peak_kb;
};

struct Options {
  int runs = 20;
  int warmup = 2;
  std::string title = "Whole runs";
  double wall_target = 1.10;
  double memory_target = 0.0;  // 0: no memory target
  std::vector<Command> commands;
};

[[noreturn]] void Usage(const char* why) {
  static_cast<void>(std::fprintf(stderr, "kolvadex_compare: %s\n", why));
  static_cast<void>(std::fputs(
      "usage: kolvadex_compare [--runs N] [--warmup N] [--title TEXT] [--wall-target R]\n"
      "       [--memory-target R] --floor LABEL STATUS PROGRAM ARG... ';'\n"
      "       --tool LABEL STATUS PROGRAM ARG... ';' [--peer|--other LABEL STATUS PROGRAM ARG... "
      "';']...\n",
      stderr));
  std::exit(2);
}

int ToInt(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 1000000) Usage("bad number");
  return static_cast<int>(value);
}

double ToDouble(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value > 0)) Usage("bad ratio");
  return value;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  int i = 1;
  const auto next = [&]() -> const char* {
    if (i >= argc) Usage("an option lacks its value");
    return argv[i++];
  };
  while (i < argc) {
    const std::string_view option = argv[i++];
    if (option == "--runs") {
      options.runs = ToInt(next());
    } else if (option == "--warmup") {
      options.warmup = ToInt(next());
    } else if (option == "--title") {
      options.title = next();
    } else if (option == "--wall-target") {
      options.wall_target = ToDouble(next());
    } else if (option == "--memory-target") {
      options.memory_target = ToDouble(next());
    } else if (option == "--floor" || option == "--tool" || option == "--peer" ||
               option == "--other") {
      Command command;
      command.role = option == "--floor"  ? Role::kFloor
                     : option == "--tool" ? Role::kTool
                     : option == "--peer" ? Role::kPeer
                                          : Role::kOther;
      command.label = next();
      command.expected_status = ToInt(next());
      while (i < argc && std::string_view(argv[i]) != ";") command.argv.emplace_back(argv[i++]);
      if (i >= argc) Usage("a command does not end with ';'");
      ++i;
      if (command.argv.empty()) Usage("a command without a program");
      options.commands.push_back(std::move(command));
    } else {
      Usage("unknown option");
    }
  }
  const auto count = [&](Role role) {
    return std::count_if(options.commands.begin(), options.commands.end(),
                         [&](const Command& c) { return c.role == role; });
  };
  if (count(Role::kFloor) != 1 || count(Role::kTool) != 1) {
    Usage("exactly one --floor and one --tool are needed");
  }
  if (options.runs < 1) Usage("at least one run");
  return options;
}

struct Sample {
  int status = -1;
  double wall_ms = 0;
  double cpu_ms = 0;
  double peak_kb = 0;
};

double Milliseconds(const timeval& tv) {
  return static_cast<double>(tv.tv_sec) * 1e3 + static_cast<double>(tv.tv_usec) / 1e3;
}

// Runs the command once with its output in `output_fd`.
Sample RunOnce(const Command& command, int output_fd) {
  std::vector<char*> argv;
  argv.reserve(command.argv.size() + 1);
  for (const std::string& arg : command.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  static_cast<void>(ftruncate(output_fd, 0));
  static_cast<void>(lseek(output_fd, 0, SEEK_SET));

  Sample sample;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("kolvadex_compare: fork");
    std::exit(1);
  }
  if (pid == 0) {
    dup2(output_fd, STDOUT_FILENO);
    dup2(output_fd, STDERR_FILENO);
    execvp(argv[0], argv.data());
    static_cast<void>(std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno)));
    _exit(127);
  }
  int wait_status = 0;
  rusage usage{};
  pid_t waited = -1;
  do {
    waited = wait4(pid, &wait_status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  const auto end = std::chrono::steady_clock::now();
  if (waited != pid) {
    std::perror("kolvadex_compare: wait4");
    std::exit(1);
  }
  sample.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  sample.wall_ms = std::chrono::duration<double, std::milli>(end - start).count();
  sample.cpu_ms = Milliseconds(usage.ru_utime) + Milliseconds(usage.ru_stime);
  sample.peak_kb = static_cast<double>(usage.ru_maxrss);
  return sample;
}

void ShowOutput(int output_fd) {
  static_cast<void>(lseek(output_fd, 0, SEEK_SET));
  char buffer[4096];
  ssize_t count = 0;
  while ((count = read(output_fd, buffer, sizeof buffer)) > 0) {
    static_cast<void>(fwrite(buffer, 1, static_cast<std::size_t>(count), stderr));
  }
}

double Quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  const double position = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(position);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double fraction = position - static_cast<double>(below);
  return values[below] + (values[above] - values[below]) * fraction;
}

double Median(const std::vector<double>& values) { return Quantile(values, 0.5); }

std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one;
  std::string five;
  file >> one >> five;
  return one.empty() ? "?" : one + " (1 min), " + five + " (5 min)";
}

// Busy and total CPU time of the whole machine, in clock ticks.
struct MachineTime {
  double busy = 0;
  double total = 0;
};

MachineTime ReadMachineTime() {
  std::ifstream file("/proc/stat");
  std::string cpu;
  file >> cpu;
  MachineTime time;
  // user nice system idle iowait irq softirq steal
  double fields[8] = {};
  for (double& field : fields) file >> field;
  for (const double field : fields) time.total += field;
  time.busy = time.total - fields[3] - fields[4];
  return time;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

std::string Ratio(double value) {
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, "%g", value));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  std::vector<Command>& commands = options.commands;
  const int output_fd = memfd_create("kolvadex_compare_output", 0);
  if (output_fd < 0) {
    std::perror("kolvadex_compare: memfd_create");
    return 1;
  }

  const std::string load_before = LoadAverage();
  const MachineTime machine_before = ReadMachineTime();
  const auto start = std::chrono::steady_clock::now();
  double own_cpu_ms = 0;
  const std::size_t n = commands.size();
  for (int round = -options.warmup; round < options.runs; ++round) {
    const auto first = static_cast<std::size_t>(round + options.warmup) % n;
    for (std::size_t k = 0; k < n; ++k) {
      Command& command = commands[(first + k) % n];
      const Sample sample = RunOnce(command, output_fd);
      own_cpu_ms += sample.cpu_ms;
      if (sample.status != command.expected_status) {
        static_cast<void>(std::fprintf(
            stderr, "kolvadex_compare: %s ended with status %d (expected %d); its output:\n",
            command.label.c_str(), sample.status, command.expected_status));
        ShowOutput(output_fd);
        return 1;
      }
      if (round < 0) continue;
      command.wall_ms.push_back(sample.wall_ms);
      command.cpu_ms.push_back(sample.cpu_ms);
      command.peak_kb.push_back(sample.peak_kb);
    }
  }
  const double elapsed_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const MachineTime machine_after = ReadMachineTime();
  const std::string load_after = LoadAverage();

  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  const double ticks_total = machine_after.total - machine_before.total;
  const double busy_cores = ticks_total > 0 ? (machine_after.busy - machine_before.busy) /
                                                  ticks_total * static_cast<double>(cores)
                                            : 0;
  const double own_cores = elapsed_ms > 0 ? own_cpu_ms / elapsed_ms : 0;

  const Command& floor = *std::find_if(commands.begin(), commands.end(),
                                       [](const Command& c) { return c.role == Role::kFloor; });
  const Command& tool = *std::find_if(commands.begin(), commands.end(),
                                      [](const Command& c) { return c.role == Role::kTool; });
  const double floor_wall = Median(floor.wall_ms);
  const double floor_cpu = Median(floor.cpu_ms);
  const double floor_peak = Median(floor.peak_kb);

  std::printf("\n%s: %d runs of each command (after %d warm-up rounds), interleaved\n",
              options.title.c_str(), options.runs, options.warmup);
  std::printf("Machine: %ld cores; load average %s before, %s after;\n", cores, load_before.c_str(),
              load_after.c_str());
  std::printf("         other processes kept %.2f of %ld cores busy during the %.1f s\n\n",
              std::max(0.0, busy_cores - own_cores), cores, elapsed_ms / 1e3);
  std::printf("| %-26s | %9s | %11s | %7s | %8s | %7s | %9s | %7s |\n", "command", "wall ms",
              "wall p25-75", "x floor", "CPU ms", "x floor", "peak KiB", "x floor");
  std::printf("|%s|%s|%s|%s|%s|%s|%s|%s|\n", std::string(28, '-').c_str(),
              std::string(10, '-').append(":").c_str(), std::string(12, '-').append(":").c_str(),
              std::string(8, '-').append(":").c_str(), std::string(9, '-').append(":").c_str(),
              std::string(8, '-').append(":").c_str(), std::string(10, '-').append(":").c_str(),
              std::string(8, '-').append(":").c_str());
  for (const Command& command : commands) {
    const double wall = Median(command.wall_ms);
    const double cpu = Median(command.cpu_ms);
    const double peak = Median(command.peak_kb);
    char spread[32];
    static_cast<void>(std::snprintf(spread, sizeof spread, "%.2f-%.2f",
                                    Quantile(command.wall_ms, 0.25),
                                    Quantile(command.wall_ms, 0.75)));
    std::printf("| %-26s | %9.3f | %11s | %7.2f | %8.3f | %7.2f | %9.0f | %7.2f |\n",
                command.label.c_str(), wall, spread, wall / floor_wall, cpu,
                floor_cpu > 0 ? cpu / floor_cpu : 0.0, peak, peak / floor_peak);
  }

  // The ratio of each round's tool run to the same round's floor run: drift
  // between rounds cancels in it.
  std::vector<double> paired;
  for (std::size_t r = 0; r < tool.wall_ms.size(); ++r)
    paired.push_back(tool.wall_ms[r] / floor.wall_ms[r]);
  const double tool_wall = Median(tool.wall_ms);
  const double wall_ratio = tool_wall / floor_wall;

  std::printf("\nTargets:\n");
  std::printf(
      "  %-52s %5.2f x (paired median %.2f x)  %s\n",
      (tool.label + " wall time <= " + Ratio(options.wall_target) + " x " + floor.label).c_str(),
      wall_ratio, Median(paired), Verdict(wall_ratio <= options.wall_target));
  for (const Command& command : commands) {
    if (command.role != Role::kPeer) continue;
    const double peer_wall = Median(command.wall_ms);
    std::printf("  %-52s %.3f ms vs %.3f ms  %s\n",
                (tool.label + " faster than " + command.label).c_str(), tool_wall, peer_wall,
                Verdict(tool_wall < peer_wall));
  }
  if (options.memory_target > 0) {
    const double memory_ratio = Median(tool.peak_kb) / floor_peak;
    std::printf(
        "  %-52s %5.2f x (%.0f KiB vs %.0f KiB)  %s\n",
        (tool.label + " peak memory <= " + Ratio(options.memory_target) + " x " + floor.label)
            .c_str(),
        memory_ratio, Median(tool.peak_kb), floor_peak,
        Verdict(memory_ratio <= options.memory_target));
  }
  return 0;
}
