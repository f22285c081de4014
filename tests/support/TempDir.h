#pragma once
// A fresh folder under the system temporary folder, removed with everything in it.
// The constructor, readFile and writeFile throw std::runtime_error on failure; writeFile
// creates missing folders and replaces the file.

#include <filesystem>
#include <string>

namespace vela::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace vela::test
