// Windows children: pipes only (a console of its own cannot be captured byte for byte).
#include <windows.h>

#include <cstring>
#include <thread>

#include "child_process.hpp"

namespace test {
namespace {

// Paths given the POSIX way (under Wine) name drive Z:, Wine's view of the host's root.
std::string windows_path(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

void read_all(HANDLE from, std::string& into) {
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0)
    into.append(buffer, got);
}

// The parent's environment and the extra entries, as CreateProcess takes them.
std::string environment_block(const std::vector<std::string>& extra) {
  std::string block;
  char* current = ::GetEnvironmentStringsA();
  for (const char* entry = current; *entry != '\0'; entry += std::strlen(entry) + 1) {
    block.append(entry, std::strlen(entry) + 1);
  }
  ::FreeEnvironmentStringsA(current);
  for (const std::string& entry : extra) block.append(entry.c_str(), entry.size() + 1);
  block.push_back('\0');
  return block;
}

}  // namespace

bool terminal_supported() { return false; }

// Wine runs the program on this CPU.
bool under_cpu_emulator() { return false; }

int status_seen(int status) { return status; }

int run_restricted(const std::function<int()>& body) { return body(); }

bool read_only_holds(const std::string& path) {
  const HANDLE handle =
      ::CreateFileA(windows_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  ::CloseHandle(handle);
  return false;
}

ChildResult run_child(const std::string& program, const ChildOptions& options) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE in_read, in_write, out_read, out_write, err_read, err_write;
  ::CreatePipe(&in_read, &in_write, &inherited, 0);
  ::CreatePipe(&out_read, &out_write, &inherited, 0);
  ::CreatePipe(&err_read, &err_write, &inherited, 0);
  for (HANDLE parent_end : {in_write, out_read, err_read}) {
    ::SetHandleInformation(parent_end, HANDLE_FLAG_INHERIT, 0);
  }
  HANDLE child_in = in_read;
  if (options.stdin_kind != Input::pipe) {
    child_in = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                             OPEN_EXISTING, 0, nullptr);
  }
  if (options.stdout_kind == Output::broken_pipe || options.stdout_kind == Output::closed) {
    ::CloseHandle(out_read);  // nobody reads: writes fail
    out_read = nullptr;
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  std::string command = "\"" + windows_path(program) + "\"";
  std::string environment = environment_block(options.environment);
  const std::string directory = windows_path(options.directory);
  PROCESS_INFORMATION process{};
  ChildResult result;
  const BOOL started = ::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                        environment.data(), directory.c_str(), &startup, &process);
  ::CloseHandle(out_write);
  ::CloseHandle(err_write);
  ::CloseHandle(in_read);
  if (child_in != in_read) ::CloseHandle(child_in);
  if (!started) {
    ::CloseHandle(in_write);
    if (out_read != nullptr) ::CloseHandle(out_read);
    ::CloseHandle(err_read);
    result.err = "cannot start " + command;
    return result;
  }
  std::thread writer([&] {
    DWORD done = 0;
    if (options.stdin_kind == Input::pipe && !options.input.empty()) {
      ::WriteFile(in_write, options.input.data(), static_cast<DWORD>(options.input.size()), &done,
                  nullptr);
    }
    ::CloseHandle(in_write);
  });
  std::thread out_reader([&] {
    if (out_read != nullptr) read_all(out_read, result.out);
  });
  std::thread err_reader([&] { read_all(err_read, result.err); });
  if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.timeout_seconds) * 1000) !=
      WAIT_OBJECT_0) {
    ::TerminateProcess(process.hProcess, 255);
    ::WaitForSingleObject(process.hProcess, INFINITE);
  }
  writer.join();
  out_reader.join();
  err_reader.join();
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  result.exit_code = static_cast<int>(code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  if (out_read != nullptr) ::CloseHandle(out_read);
  ::CloseHandle(err_read);
  return result;
}

}  // namespace test
