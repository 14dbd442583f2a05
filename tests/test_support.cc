#include "tests/test_support.h"

#include <atomic>
#include <cstdlib>

#include <gtest/gtest.h>
#include <unistd.h>

namespace morvek::testing {

ScratchDir::ScratchDir() : previous_(std::filesystem::current_path()) {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("morvek-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

std::string readFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void RecordingRunner::run(const std::string& commandLine) {
  commands.push_back(commandLine);
  commandFiles.push_back(readFile("2.tmp"));
  dataFiles.push_back(readFile("1.tmp"));
}

void expectGolden(const std::string& name, const std::string& text) {
  const std::string path = std::string(MORVEK_SOURCE_DIR) + "/tests/golden/" + name;
  if (std::getenv("MORVEK_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << "no golden file " << path;
  std::ostringstream golden;
  golden << file.rdbuf();
  EXPECT_EQ(text, golden.str()) << "differs from " << path;
}

std::string lines(std::initializer_list<std::string> items) {
  std::string text;
  for (const std::string& item : items) text += item + '\n';
  return text;
}

std::string emptyLines(int count) { return std::string(static_cast<std::size_t>(count), '\n'); }

}  // namespace morvek::testing
