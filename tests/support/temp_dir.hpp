// A fresh temporary directory, and small file helpers for tests.
#pragma once

#include <string>

namespace test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Makes a temporary directory the current one for the lifetime of the object.
class InTempDir {
 public:
  InTempDir();
  ~InTempDir();
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string previous_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
void make_read_only(const std::string& path);
void make_directory(const std::string& path);

}  // namespace test
