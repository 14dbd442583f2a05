// Shared by the fuzz targets: a private working directory, made once per
// process, since Morvek reads and writes its files in the working directory.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace morvek::fuzz {

inline void enterPrivateDirectory(const char* target) {
  static bool entered = false;
  if (entered) return;
  entered = true;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    (std::string("morvek-fuzz-") + target + "-" +
                                     std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  // The directory goes with the process, even when libFuzzer ends it with exit().
  static const std::filesystem::path keep = dir;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(keep, ignored);
  });
}

// libFuzzer reads corpus directories and writes artifacts after the target
// has changed the working directory, so relative paths among the arguments
// are made absolute first, against the directory the fuzzer started in.
// Without an artifact prefix, crash inputs go to that directory too rather
// than into the private one, which is removed at the end.
inline void absoluteArguments(int* argc, char*** argv) {
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  const std::filesystem::path start = std::filesystem::current_path();
  const auto absolute = [&](std::string_view path) {
    return path.empty() || path.front() == '/' ? std::string(path) : (start / path).string();
  };
  bool prefixed = false;
  for (int i = 0; i < *argc; ++i) {
    const std::string_view arg = (*argv)[i];
    std::string fixed(arg);
    if (i > 0 && !arg.starts_with("-")) fixed = absolute(arg);
    for (std::string_view option : {"-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
      if (!arg.starts_with(option)) continue;
      prefixed = prefixed || option == "-artifact_prefix=";
      fixed = std::string(option) + absolute(arg.substr(option.size()));
      // A prefix that names a directory keeps its final slash.
      if (arg.ends_with("/") && !fixed.ends_with("/")) fixed += '/';
    }
    texts.push_back(std::move(fixed));
  }
  if (!prefixed) texts.push_back("-artifact_prefix=" + start.string() + "/");
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(texts.size());
  *argv = pointers.data();
}

// The set-up every target does before its first input.
inline void setUp(int* argc, char*** argv, const char* target) {
  absoluteArguments(argc, argv);
  enterPrivateDirectory(target);
}

inline void writeFile(const std::string& name, std::string_view text) {
  std::ofstream(name, std::ios::binary | std::ios::trunc).write(text.data(),
                                                                 static_cast<std::streamsize>(text.size()));
}

}  // namespace morvek::fuzz
