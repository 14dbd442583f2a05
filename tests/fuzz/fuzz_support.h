// Shared by the fuzz targets: a private working directory, made once per
// process, since Morvek reads and writes its files in the working directory.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace morvek::fuzz {

// libFuzzer reads corpus directories and writes artifacts after the target
// has changed the working directory, so relative paths among the arguments
// are made absolute first, against the directory the fuzzer started in.
// Crash inputs go to that directory too unless a prefix is given (a later
// flag overrides an earlier one), rather than into the private directory,
// which is removed at the end.
inline void absoluteArguments(int* argc, char*** argv) {
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  const std::string start = std::filesystem::current_path().string() + "/";
  texts = {(*argv)[0], "-artifact_prefix=" + start};
  for (int i = 1; i < *argc; ++i) {
    std::string arg = (*argv)[i];
    std::size_t path = arg.starts_with("-") ? std::string::npos : 0;  // where a path starts in the argument
    for (const char* option : {"-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
      if (arg.starts_with(option)) path = std::strlen(option);
    }
    if (path < arg.size() && arg[path] != '/') arg.insert(path, start);
    texts.push_back(arg);
  }
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(texts.size());
  *argv = pointers.data();
}

// The set-up every target does before its first input: the arguments made
// absolute, then a private directory entered, which goes with the process
// even when libFuzzer ends it with exit().
inline void setUp(int* argc, char*** argv, const char* target) {
  absoluteArguments(argc, argv);
  static const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                           (std::string("morvek-fuzz-") + target + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(dir, ignored);
  });
}

inline void writeFile(const std::string& name, std::string_view text) {
  std::ofstream(name, std::ios::binary | std::ios::trunc).write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace morvek::fuzz
