#pragma once
// How a harness reports a disagreement between the program and what the input says: a line on
// standard error and an abort, which libFuzzer records as a crash with its reproducer.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tamrix::fuzz {

[[noreturn]] inline void Disagree(const std::string& what) {
    std::fprintf(stderr, "\n==== DISAGREEMENT: %s\n", what.c_str());
    std::abort();
}

}  // namespace tamrix::fuzz
