#include "temp_dir.hpp"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device entropy;
  std::mt19937_64 random(entropy());
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("tu_mardo_test_" + std::to_string(random()));
    if (fs::create_directory(candidate)) path_ = candidate.string();
  }
  if (path_.empty()) throw std::runtime_error("cannot create a temporary directory");
  // Open to the unprivileged user that some tests run the program as.
  fs::permissions(path_, fs::perms::all);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files would stay behind on some systems.
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

InTempDir::InTempDir() : previous_(fs::current_path().string()) { fs::current_path(dir_.path()); }

InTempDir::~InTempDir() { fs::current_path(previous_); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

void make_read_only(const std::string& path) {
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

void make_directory(const std::string& path) { fs::create_directory(path); }

}  // namespace test
