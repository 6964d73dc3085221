#pragma once
// Test surroundings: an environment variable set for the lifetime of an object (so one test's
// port map does not leak into the next), and temporary files private to the test process.

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

namespace tamrix::test {

class ScopedEnv {
  public:
    // `value` empty: the variable is removed.
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = ::getenv(name); old != nullptr)
            old_ = old;
        Apply(value);
    }
    ~ScopedEnv() { Apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> old_;
};

// A file in the test temporary folder, private to the test process, removed afterwards.
class ScopedTempFile {
  public:
    ScopedTempFile(const std::string& name, const std::string& text)
        : path_(::testing::TempDir() + name + "." + std::to_string(::getpid())) {
        std::ofstream(path_) << text;
    }
    ~ScopedTempFile() { std::remove(path_.c_str()); }
    ScopedTempFile(const ScopedTempFile&) = delete;
    ScopedTempFile& operator=(const ScopedTempFile&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace tamrix::test
