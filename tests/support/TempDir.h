#pragma once

#include <string>

namespace pg::test {

// A fresh directory under $TMPDIR (or /tmp) removed with everything in it at the end of the
// scope. Traversable by everybody, so daemons running as another user (LPRng's lpd, cupsd's
// lp) can reach files below it.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "pgtest");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

}  // namespace pg::test
