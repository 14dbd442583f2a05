// Fuzzes whole dialog sessions. The input up to the first NUL byte is the
// data file data.txt, the rest the answer script, one answer per line. A
// session must end with status 0 or 1 and its closing line, and a session
// that ends unsuccessfully must leave no result file unless it failed while
// writing them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include "morvek/console.h"
#include "morvek/driver.h"
#include "morvek/fatal.h"
#include "morvek/plot.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Kept small so that every session takes milliseconds.
constexpr std::size_t kMaxData = 4096;
constexpr std::size_t kMaxAnswers = 200;

constexpr const char* kConfig = "&cfg ngrid = 64, nhsrch = 100 /\n";
constexpr const char* kResultFiles[] = {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"};

class NoPlots : public morvek::PlotRunner {
 public:
  void run(const std::string&) override {}
};

[[noreturn]] void fault(const char* what, const std::string& transcript) {
  const std::size_t tail = transcript.size() > 2000 ? transcript.size() - 2000 : 0;
  std::fprintf(stderr, "session fault: %s\n--- transcript end ---\n%s\n", what,
               transcript.substr(tail).c_str());
  std::abort();
}

bool anyResultFile() {
  for (const char* name : kResultFiles) {
    if (std::filesystem::exists(name)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  morvek::fuzz::setUp(argc, argv, "session");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const std::size_t split = input.find('\0');
  if (split == std::string_view::npos || split > kMaxData) return 0;
  std::string answers(input.substr(split + 1));
  std::size_t lines = 0;
  for (char c : answers) lines += c == '\n';
  if (lines > kMaxAnswers) return 0;

  morvek::fuzz::writeFile("morvek.cfg", kConfig);
  morvek::fuzz::writeFile("data.txt", input.substr(0, split));
  for (const char* name : kResultFiles) std::remove(name);

  std::istringstream in(answers);
  std::ostringstream out;
  morvek::Console console(in, out);
  NoPlots runner;
  const int status = morvek::runMorvek(console, runner);
  const std::string transcript = out.str();

  if (status != 0 && status != 1) fault("exit status neither 0 nor 1", transcript);
  const bool success = transcript.ends_with("Morvek terminates successfully\n");
  const bool failure = transcript.ends_with("Morvek terminates unsuccessfully\n");
  if (!success && !failure) fault("no closing line", transcript);
  if (success != (status == 0)) fault("closing line and exit status disagree", transcript);
  if (transcript.find(std::string("\n") + morvek::kInternalError) != std::string::npos) {
    fault("an unexpected exception", transcript);
  }
  if (status == 1 && anyResultFile()) {
    // Only a failure while the result files are written may leave some:
    // its message is the line before the closing line.
    const std::string_view body =
        std::string_view(transcript).substr(0, transcript.size() - std::string_view("Morvek terminates unsuccessfully\n").size());
    const std::size_t start = body.size() < 2 ? 0 : body.rfind('\n', body.size() - 2);
    const std::string_view last = body.substr(start == std::string_view::npos ? 0 : start);
    if (!last.starts_with("\nError during data file writing") &&
        !last.starts_with("\nError during data file opening")) {
      fault("result files left by an unsuccessful run", transcript);
    }
  }
  if (status == 0 && (!std::filesystem::exists("morvek-2.dat") ||
                      !std::filesystem::exists("morvek-3.dat"))) {
    fault("successful run without its result files", transcript);
  }
  return 0;
}
