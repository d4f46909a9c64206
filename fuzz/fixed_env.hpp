// fixed_env.hpp - every harness runs in the same environment, whatever shell
// or tool started it: the environment is cleared and set to fixed values in
// LLVMFuzzerInitialize, so that an input that failed once fails again when
// it is replayed (the libraries expand $NAME and "~" from the environment).
#ifndef FDK_FUZZ_FIXED_ENV_HPP
#define FDK_FUZZ_FIXED_ENV_HPP

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>

namespace fdk_fuzz {

inline void fixed_environment(
    std::initializer_list<std::pair<std::string, std::string>> vars = {}) {
  clearenv();
  for (const auto &[name, value] : vars) setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace fdk_fuzz

#define FDK_FUZZ_FIXED_ENVIRONMENT(...)                  \
  extern "C" int LLVMFuzzerInitialize(int *, char ***) { \
    fdk_fuzz::fixed_environment(__VA_ARGS__);            \
    return 0;                                            \
  }

#endif
