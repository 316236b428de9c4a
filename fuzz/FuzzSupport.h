#pragma once
// What the harnesses share: one application object for the whole run and a
// scratch folder of its own.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pcm {
class CoreApp;
}

namespace fuzz {

// A folder for the run's files, made on first use.
const std::string& ScratchDir();
// An application whose program lies in ScratchDir() (nothing else is there
// unless the harness writes it), settings kept in the scratch folder too.
pcm::CoreApp& App();
// Writes bytes to a file, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);

// A broken invariant: says which and aborts, so the fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace fuzz
