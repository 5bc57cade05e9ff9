// An in-memory file system in place of the system's files (platform/files.hpp), linked into
// tu_mardo_sweep, the build of the program that the fault sweep runs. It starts with the regular
// files of the current directory, mirrors every change back to them at once, and at one chosen
// call fails or "crashes", as TU_MARDO_FILE_FAULT says: "<kind> <k> <how>", the k-th call of that
// kind (open, look-up, info, read, write, seek, reserve, cut, sync, name-sync, lock, unlock,
// replace, tidy, close), and
//   no_space, too_large, io_error, access_denied, not_supported, interrupted: that failure, as
//     the system gives it (a write that fails has written half its bytes; an interrupted call
//     comes with a SIGINT, as when a signal cuts a blocked call short);
//   kill: the process ends there, every file as it is (as SIGKILL leaves it);
//   power: the process ends there, every file as it was when last synced (as a power cut
//     leaves it; a file created and never synced is gone);
//   changed: the middle byte of the call's file changes (a disk, or another program, changed
//     it), then the call is made;
//   count: the run's accepted digit count changes in memory (a stray write), then the call is
//     made.
// A crash ends the process with status CRASHED. TU_MARDO_FILE_LOG names a file that receives
// one line per call: "<kind> <file name>".
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/files.hpp"
#include "tu_mardo/counts.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#endif

namespace platform {
namespace {

constexpr int CRASHED = 86;

struct File {
  std::string name;     // empty once another file took its name
  std::string bytes;    // what a reader sees
  int64_t version = 0;  // changes with its bytes: its modification and change time
  std::string durable;  // what a power cut leaves
  bool durable_exists = true;
};

struct Open {
  std::size_t file = 0;
  int64_t offset = 0;
};

struct Fault {
  std::string kind;
  long call = 0;
  std::string how;
};

struct MemoryFiles {
  std::vector<File> files;
  std::vector<Open> handles;
  Fault fault;
  std::vector<std::pair<std::string, long>> counts;
  std::ofstream log;

  MemoryFiles() {
    namespace fs = std::filesystem;
    for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      File file;
      file.name = entry.path().filename().string();
      file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      file.durable = file.bytes;
      files.push_back(file);
    }
    if (const char* text = std::getenv("TU_MARDO_FILE_FAULT")) {
      char kind[32] = {}, how[32] = {};
      if (std::sscanf(text, "%31s %ld %31s", kind, &fault.call, how) == 3) {
        fault.kind = kind;
        fault.how = how;
      }
    }
    if (const char* path = std::getenv("TU_MARDO_FILE_LOG"))
      log.open(path, std::ios::app | std::ios::binary);
  }
};

MemoryFiles& fs() {
  static MemoryFiles instance;
  return instance;
}

void mirror(File& file) {
  ++file.version;
  if (file.name.empty()) return;
  std::ofstream out(file.name, std::ios::binary | std::ios::trunc);
  out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
}

[[noreturn]] void crash(bool power_cut) {
  if (power_cut) {
    for (const File& file : fs().files) {
      if (file.name.empty()) continue;
      if (file.durable_exists) {
        std::ofstream out(file.name, std::ios::binary | std::ios::trunc);
        out.write(file.durable.data(), static_cast<std::streamsize>(file.durable.size()));
      } else {
        std::remove(file.name.c_str());
      }
    }
  }
  std::_Exit(CRASHED);
}

int error_code(const std::string& how) {
#if defined(_WIN32)
  if (how == "no_space") return ERROR_DISK_FULL;
  if (how == "too_large") return ERROR_FILE_TOO_LARGE;
  if (how == "access_denied") return ERROR_ACCESS_DENIED;
  if (how == "not_supported") return ERROR_NOT_SUPPORTED;
  if (how == "interrupted") return ERROR_OPERATION_ABORTED;
  return ERROR_IO_DEVICE;
#else
  if (how == "no_space") return ENOSPC;
  if (how == "too_large") return EFBIG;
  if (how == "access_denied") return EACCES;
  if (how == "not_supported") return ENOLCK;
  if (how == "interrupted") return EINTR;
  return EIO;
#endif
}

IoFailure failure_of(const std::string& how) {
  if (how == "no_space" || how == "too_large") return IoFailure::no_space;
  if (how == "access_denied") return IoFailure::access_denied;
  if (how == "not_supported") return IoFailure::not_supported;
  if (how == "interrupted") return IoFailure::interrupted;
  return IoFailure::other;
}

File* named(const char* name);

// Counts and logs the call; true if it is the one that fails (a crash never returns).
bool faulted(const char* kind, const std::string& name, IoResult& failure) {
  MemoryFiles& m = fs();
  long count = 0;
  for (auto& [counted, calls] : m.counts) {
    if (counted == kind) count = ++calls;
  }
  if (count == 0) m.counts.emplace_back(kind, count = 1);
  if (m.log.is_open()) m.log << kind << ' ' << name << std::endl;
  if (m.fault.kind != kind || m.fault.call != count) return false;
  if (m.fault.how == "kill") crash(false);
  if (m.fault.how == "power") crash(true);
  if (m.fault.how == "changed") {
    File* file = named(name.c_str());
    if (file != nullptr && !file->bytes.empty()) file->bytes[file->bytes.size() / 2] ^= 1;
    if (file != nullptr) mirror(*file);
    return false;
  }
  if (m.fault.how == "count") {
    tu_mardo::counts.naccepted = 64000;
    return false;
  }
  if (m.fault.how == "interrupted") std::raise(SIGINT);  // held: the signal waits
  failure = IoResult{failure_of(m.fault.how), error_code(m.fault.how)};
  return true;
}

File* named(const char* name) {
  for (File& file : fs().files) {
    if (file.name == name) return &file;
  }
  return nullptr;
}

Open& handle_of(FileHandle handle) { return fs().handles[static_cast<std::size_t>(handle - 1)]; }
File& file_of(FileHandle handle) { return fs().files[handle_of(handle).file]; }

FileInfo info_of(std::size_t index) {
  FileInfo info;
  info.regular = true;
  info.device = 1;
  info.id = index + 1;
  info.size = static_cast<int64_t>(fs().files[index].bytes.size());
  info.modified_ns = info.changed_ns = fs().files[index].version;
  return info;
}

bool same_without_regard_to_case(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

}  // namespace

IoResult look_up_name(const char* name, NameBuffer& found) {
  std::snprintf(found, sizeof found, "%s", name);
  IoResult failure;
  if (faulted("look-up", name, failure)) return failure;
  if (named(name) != nullptr) return {};
  const File* match = nullptr;
  int matches = 0;
  for (const File& file : fs().files) {
    if (!file.name.empty() && same_without_regard_to_case(file.name, name)) {
      match = &file;
      ++matches;
    }
  }
  if (matches == 1) std::snprintf(found, sizeof found, "%s", match->name.c_str());
  return {};
}

IoResult open_file(const char* name, bool, OpenedFile& opened) {
  IoResult failure;
  if (faulted("open", name, failure)) return failure;
  MemoryFiles& m = fs();
  File* file = named(name);
  opened.created = file == nullptr;
  if (file == nullptr) {
    File created;
    created.name = name;
    created.durable_exists = false;
    m.files.push_back(created);
    file = &m.files.back();
    mirror(*file);
  }
  m.handles.push_back(Open{static_cast<std::size_t>(file - m.files.data()), 0});
  opened.handle = static_cast<FileHandle>(m.handles.size());
  opened.writable = true;
  return {};
}

IoResult name_info(const char* name, FileInfo& info) {
  IoResult failure;
  if (faulted("look-up", name, failure)) return failure;
  const File* file = named(name);
  if (file == nullptr) return IoResult{IoFailure::other, error_code("missing")};
  info = info_of(static_cast<std::size_t>(file - fs().files.data()));
  return {};
}

IoResult file_info(FileHandle handle, FileInfo& info) {
  IoResult failure;
  if (faulted("info", file_of(handle).name, failure)) return failure;
  info = info_of(handle_of(handle).file);
  return {};
}

IoResult read_file(FileHandle handle, char* buffer, std::size_t capacity, std::size_t& count) {
  count = 0;
  IoResult failure;
  if (faulted("read", file_of(handle).name, failure)) return failure;
  Open& open = handle_of(handle);
  const std::string& bytes = file_of(handle).bytes;
  const std::size_t at = static_cast<std::size_t>(open.offset);
  if (at < bytes.size()) count = std::min(capacity, bytes.size() - at);
  std::memcpy(buffer, bytes.data() + std::min(at, bytes.size()), count);
  open.offset += static_cast<int64_t>(count);
  return {};
}

IoResult write_file(FileHandle handle, const char* bytes, std::size_t count) {
  IoResult failure;
  const bool fails = faulted("write", file_of(handle).name, failure);
  // A write that fails has done part of its work, as a real one may.
  if (fails && failure.failure != IoFailure::interrupted) count /= 2;
  if (fails && failure.failure == IoFailure::interrupted) count = 0;
  Open& open = handle_of(handle);
  File& file = file_of(handle);
  const std::size_t at = static_cast<std::size_t>(open.offset);
  if (file.bytes.size() < at + count) file.bytes.resize(at + count, '\0');
  file.bytes.replace(at, count, bytes, count);
  open.offset += static_cast<int64_t>(count);
  mirror(file);
  return fails ? failure : IoResult{};
}

IoResult seek_file(FileHandle handle, int64_t offset) {
  IoResult failure;
  if (faulted("seek", file_of(handle).name, failure)) return failure;
  handle_of(handle).offset = offset;
  return {};
}

IoResult reserve_file(FileHandle handle, int64_t, int64_t) {
  IoResult failure;
  if (faulted("reserve", file_of(handle).name, failure)) return failure;
  return {};
}

IoResult set_file_end(FileHandle handle, int64_t offset) {
  IoResult failure;
  if (faulted("cut", file_of(handle).name, failure)) return failure;
  File& file = file_of(handle);
  file.bytes.resize(static_cast<std::size_t>(offset), '\0');
  mirror(file);
  return {};
}

IoResult sync_file(FileHandle handle) {
  IoResult failure;
  if (faulted("sync", file_of(handle).name, failure)) return failure;
  File& file = file_of(handle);
  file.durable = file.bytes;
  return {};
}

// A created file outlives a power cut once its name is synced too.
IoResult sync_name(const char* name) {
  IoResult failure;
  if (faulted("name-sync", name, failure)) return failure;
  if (File* file = named(name)) file->durable_exists = true;
  return {};
}

IoResult lock_file(FileHandle handle, bool, bool) {
  IoResult failure;
  if (faulted("lock", file_of(handle).name, failure)) return failure;
  return {};
}

IoResult unlock_file(FileHandle handle) {
  IoResult failure;
  if (faulted("unlock", file_of(handle).name, failure)) return failure;
  return {};
}

// The memory's replace_file leaves nothing behind.
IoResult tidy_replacements(const char* name) {
  IoResult failure;
  if (faulted("tidy", name, failure)) return failure;
  return {};
}

IoResult replace_file(FileHandle& handle, const char* name, const FileInfo& as_read, int64_t keep,
                      const char* bytes, std::size_t count, bool) {
  IoResult failure;
  if (faulted("replace", name, failure)) return failure;
  MemoryFiles& m = fs();
  const File* named_now = named(name);
  if (named_now == nullptr || &file_of(handle) != named_now ||
      !unchanged(as_read, info_of(handle_of(handle).file))) {
    return IoResult{IoFailure::changed, 0};
  }
  File fresh;
  fresh.name = name;
  fresh.bytes = file_of(handle).bytes.substr(0, static_cast<std::size_t>(keep));
  fresh.bytes.append(bytes, count);
  fresh.durable = fresh.bytes;  // synced before it takes the name
  if (File* old = named(name)) old->name.clear();
  m.files.push_back(fresh);
  mirror(m.files.back());
  m.handles.push_back(Open{m.files.size() - 1, 0});
  handle = static_cast<FileHandle>(m.handles.size());
  return {};
}

IoResult close_file(FileHandle handle) {
  IoResult failure;
  if (faulted("close", file_of(handle).name, failure)) return failure;
  return {};
}

}  // namespace platform
