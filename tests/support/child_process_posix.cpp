#include "child_process.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "temp_dir.hpp"

namespace test {
namespace {

// As root, become the unprivileged user "nobody" so that file permissions hold.
bool drop_privileges() {
  if (::geteuid() != 0) return true;
  constexpr uid_t NOBODY = 65534;
  return ::setgroups(0, nullptr) == 0 && ::setgid(NOBODY) == 0 && ::setuid(NOBODY) == 0;
}

// The emulator that runs the target's programs (qemu-user, with its arguments separated by
// '|'), or empty for a native build.
std::vector<std::string> emulator_command() {
  std::vector<std::string> parts;
#if defined(TU_MARDO_EMULATOR)
  std::string rest = TU_MARDO_EMULATOR;
  for (std::size_t at = rest.find('|'); at != std::string::npos; at = rest.find('|')) {
    parts.push_back(rest.substr(0, at));
    rest.erase(0, at + 1);
  }
  if (!rest.empty()) parts.push_back(rest);
#endif
  return parts;
}

[[noreturn]] void exec_child(const std::string& program, const ChildOptions& options) {
  if (::chdir(options.directory.c_str()) != 0) ::_exit(126);
  for (const std::string& entry : options.environment) ::putenv(::strdup(entry.c_str()));
  if (options.cpu_limit_seconds > 0) {
    rlimit limit{static_cast<rlim_t>(options.cpu_limit_seconds), RLIM_INFINITY};
    ::setrlimit(RLIMIT_CPU, &limit);
  }
  if (options.file_size_limit >= 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                 static_cast<rlim_t>(options.file_size_limit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  // Opened before privileges are dropped: the unprivileged user may not be able to reach
  // the build tree.
  const std::vector<std::string> emulator =
      options.emulator.empty() ? emulator_command() : options.emulator;
  const int executable = ::open(program.c_str(), O_RDONLY | (emulator.empty() ? O_CLOEXEC : 0));
  if (options.unprivileged && !drop_privileges()) ::_exit(125);
  ::signal(SIGPIPE, SIG_DFL);
  for (int ignored : options.ignored_signals) ::signal(ignored, SIG_IGN);
  // The program starts with its three standard streams only, whatever the test process holds
  // (CTest's own descriptors among them); and last, the harness needing descriptors up to here.
  if (executable > STDERR_FILENO) {
    ::close_range(STDERR_FILENO + 1, static_cast<unsigned>(executable) - 1, 0);
    ::close_range(static_cast<unsigned>(executable) + 1, ~0u, 0);
  }
  if (options.open_files_limit > 0) {
    rlimit limit{static_cast<rlim_t>(options.open_files_limit),
                 static_cast<rlim_t>(options.open_files_limit)};
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (!emulator.empty()) {
    // The emulator loads the program through the descriptor opened above.
    std::vector<std::string> words = emulator;
    words.push_back("/proc/self/fd/" + std::to_string(executable));
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    arguments.push_back(nullptr);
    ::execvp(arguments[0], arguments.data());
    ::_exit(127);
  }
  char* const arguments[] = {const_cast<char*>(program.c_str()), nullptr};
  ::fexecve(executable, arguments, environ);
  ::_exit(127);
}

// The emulator's own lines ("qemu: uncaught target signal 3 (Quit) - core dumped",
// "qemu-x86_64: warning: TCG doesn't support requested feature ...") are not the program's.
void drop_emulator_lines(std::string& err, const ChildOptions& options) {
  if (emulator_command().empty() && options.emulator.empty()) return;
  for (std::size_t at = err.find("qemu"); at != std::string::npos; at = err.find("qemu", at)) {
    const std::size_t colon = err.find(": ", at);
    const std::size_t end = err.find('\n', at);
    if ((at > 0 && err[at - 1] != '\n') || colon > end || err.find(' ', at) < colon) {
      ++at;
      continue;
    }
    err.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
  }
}

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Feeds the input and gathers both outputs until the child has closed them.
// A pipe is closed once the input is written, so that the child meets the end of its input.
// On a terminal (`close_input` false) the input and output descriptors are the terminal's.
void pump(int input_fd, bool close_input, int out_fd, int err_fd, pid_t child,
          const ChildOptions& options, ChildResult& result) {
  using Clock = std::chrono::steady_clock;
  const std::string& input = options.input;
  std::size_t written = 0;
  if (close_input && input.empty() && input_fd >= 0) {
    ::close(input_fd);
    input_fd = -1;
  }
  const auto started = Clock::now();
  const auto deadline = started + std::chrono::seconds(options.timeout_seconds);
  const auto input_from = started + std::chrono::milliseconds(options.input_delay_ms);
  auto output_from = started + std::chrono::milliseconds(options.output_pause_ms);
  bool signalled = options.signal == 0;
  bool continued = options.continue_after_ms == 0;
  bool stopped = options.stop_terminal_after.empty();
  auto seen_at = Clock::time_point::max();  // when `signal_after` appeared
  auto signalled_at = Clock::time_point::max();
  auto ended_at = Clock::time_point::max();
  if (input_fd >= 0) set_nonblocking(input_fd);
  while (out_fd >= 0 || err_fd >= 0) {
    const auto now = Clock::now();
    pollfd fds[3];
    int count = 0;
    int in_index = -1, out_index = -1, err_index = -1;
    if (input_fd >= 0 && written < input.size() && now >= input_from) {
      in_index = count;
      fds[count++] = pollfd{input_fd, POLLOUT, 0};
    }
    if (out_fd >= 0 && now >= output_from) {
      out_index = count;
      fds[count++] = pollfd{out_fd, POLLIN, 0};
    }
    if (err_fd >= 0) {
      err_index = count;
      fds[count++] = pollfd{err_fd, POLLIN, 0};
    }
    if (now > deadline) {
      ::kill(child, SIGKILL);
      break;
    }
    if (::poll(fds, static_cast<nfds_t>(count), 20) < 0 && errno != EINTR) break;
    if (in_index >= 0 && (fds[in_index].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t done = ::write(input_fd, input.data() + written, input.size() - written);
      if (done > 0) written += static_cast<std::size_t>(done);
      if (done < 0 && errno != EAGAIN) written = input.size();  // the child stopped reading
      if (close_input && written == input.size()) {
        ::close(input_fd);
        input_fd = -1;
      }
    }
    auto drain = [](pollfd& entry, int& fd, std::string& into) {
      if (!(entry.revents & (POLLIN | POLLHUP | POLLERR))) return;
      char buffer[65536];
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got > 0) {
        into.append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EAGAIN) {  // a closed pseudo-terminal reads as EIO
        ::close(fd);
        fd = -1;
      }
    };
    if (out_index >= 0) drain(fds[out_index], out_fd, result.out);
    if (out_fd >= 0 && result.out.size() >= options.stdout_close_after) {
      ::close(out_fd);
      out_fd = -1;
    }
    if (err_index >= 0) drain(fds[err_index], err_fd, result.err);
    if (err_fd < 0 && ended_at == Clock::time_point::max()) {
      ended_at = Clock::now();  // the child is gone: what it wrote is all there is to read
      output_from = std::min(output_from, ended_at);
    }
    if (!stopped && result.out.find(options.stop_terminal_after) != std::string::npos) {
      stopped = true;
      (void)::write(input_fd, "\x13", 1);  // Ctrl-S
    }
    if (!signalled && seen_at == Clock::time_point::max() &&
        result.out.find(options.signal_after) != std::string::npos) {
      seen_at = Clock::now();
    }
    if (!signalled && seen_at != Clock::time_point::max() &&
        Clock::now() >= seen_at + std::chrono::milliseconds(options.signal_delay_ms)) {
      signalled = true;
      signalled_at = Clock::now();
      if (options.signal == SIGINT && !close_input) {
        (void)::write(input_fd, "\x03", 1);  // Ctrl-C, typed
      } else if (options.signal == SIGHUP && !close_input) {
        // The terminal goes away: its closing sends the hang-up.
        ::close(input_fd);
        input_fd = -1;
        if (out_fd >= 0) ::close(out_fd);
        out_fd = -1;
      } else {
        ::kill(child, options.signal);
      }
    }
    if (signalled && !continued &&
        Clock::now() >= signalled_at + std::chrono::milliseconds(options.continue_after_ms)) {
      continued = true;
      ::kill(child, SIGCONT);
    }
  }
  if (signalled_at != Clock::time_point::max()) {
    if (ended_at == Clock::time_point::max()) ended_at = Clock::now();
    result.signal_to_end_ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(ended_at - signalled_at).count());
  }
  if (input_fd >= 0) ::close(input_fd);
  if (out_fd >= 0) ::close(out_fd);
  if (err_fd >= 0) ::close(err_fd);
}

void wait_for(pid_t child, ChildResult& result) {
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.max_rss_kb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

ChildResult run_terminal(const std::string& program, const ChildOptions& options) {
  // Canonical input like a console, but no echo and no output processing: the captured bytes
  // are exactly the program's.
  termios settings{};
  settings.c_iflag = options.stop_terminal_after.empty() ? 0 : IXON;
  settings.c_oflag = 0;
  settings.c_cflag = CS8 | CREAD;
  settings.c_lflag = ICANON | ISIG;
  settings.c_cc[VEOF] = 4;
  settings.c_cc[VINTR] = 3;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VSTOP] = 0x13;
  settings.c_cc[VSTART] = 0x11;
  cfsetispeed(&settings, B38400);
  cfsetospeed(&settings, B38400);
  int err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  int master = -1;
  const pid_t child = ::forkpty(&master, nullptr, &settings, nullptr);
  if (child < 0) throw std::runtime_error("forkpty failed");
  if (child == 0) {
    ::dup2(err_pipe[1], STDERR_FILENO);
    exec_child(program, options);
  }
  ::close(err_pipe[1]);
  ChildResult result;
  pump(master, false, ::dup(master), err_pipe[0], child, options, result);
  drop_emulator_lines(result.err, options);
  wait_for(child, result);
  return result;
}

}  // namespace

// Under a CPU emulator the program's terminal would be the emulator's; the terminal cases run
// on the host's own build.
bool terminal_supported() { return !under_cpu_emulator(); }

bool under_cpu_emulator() { return !emulator_command().empty(); }

int status_seen(int status) { return status & 0xFF; }

bool read_only_holds(const std::string&) { return true; }

int run_restricted(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(drop_privileges() ? body() : 125);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ChildResult run_child(const std::string& program, const ChildOptions& options) {
  ::signal(SIGPIPE, SIG_IGN);
  if (options.terminal) return run_terminal(program, options);
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
#if defined(F_SETPIPE_SZ)
  if (options.stdout_pipe_size > 0) ::fcntl(out_pipe[0], F_SETPIPE_SZ, options.stdout_pipe_size);
#endif
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    switch (options.stdin_kind) {
      case Input::pipe:
        ::dup2(in_pipe[0], STDIN_FILENO);
        break;
      case Input::closed:
        ::close(STDIN_FILENO);
        break;
      case Input::dev_null:
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        break;
      case Input::file:
        ::dup2(::open(options.input_file.c_str(), O_RDONLY), STDIN_FILENO);
        break;
    }
    switch (options.stdout_kind) {
      case Output::pipe:
      case Output::broken_pipe:
        ::dup2(out_pipe[1], STDOUT_FILENO);
        break;
      case Output::closed:
        ::close(STDOUT_FILENO);
        break;
      case Output::dev_full:
        ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO);
        break;
    }
    if (options.stderr_closed) {
      ::close(STDERR_FILENO);
    } else {
      ::dup2(err_pipe[1], STDERR_FILENO);
    }
    if (options.nonblocking) {
      set_nonblocking(STDIN_FILENO);
      set_nonblocking(STDOUT_FILENO);
    }
    exec_child(program, options);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);

  int out_fd = out_pipe[0];
  if (options.stdout_kind == Output::broken_pipe) {
    ::close(out_fd);
    out_fd = -1;
  }
  ChildResult result;
  int in_fd = in_pipe[1];
  if (options.stdin_kind != Input::pipe) {
    ::close(in_fd);
    in_fd = -1;
  }
  pump(in_fd, true, out_fd, err_pipe[0], child, options, result);
  wait_for(child, result);
  drop_emulator_lines(result.err, options);
  return result;
}

}  // namespace test
