#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the end of
// the test.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tamrix::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& name) const { return (root_ / name).string(); }
    // Writes `bytes` to a file in the folder and returns its path.
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

  private:
    std::filesystem::path root_;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);

}  // namespace tamrix::test
