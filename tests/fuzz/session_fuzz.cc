// Fuzzes whole dialog sessions. The input up to the first NUL byte is the
// data file data.txt, the rest the answer script, one answer per line. A
// session must end with status 0 or 1 and its closing line; a successful
// one leaves its result files, and one that ends unsuccessfully leaves
// none unless it failed while writing them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "morvek/driver.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct NoPlots : morvek::PlotRunner {
  void run(const std::string&) override {}
};

void expect(bool ok, const char* fault, const std::string& transcript) {
  if (ok) return;
  const std::size_t tail = transcript.size() > 2000 ? transcript.size() - 2000 : 0;
  std::fprintf(stderr, "session fault: %s\n--- transcript end ---\n%s\n", fault, transcript.substr(tail).c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  morvek::fuzz::setUp(argc, argv, "session");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const std::size_t split = input.find('\0');
  // Kept small so that every session takes milliseconds.
  if (split == std::string_view::npos || split > 4096 || std::count(input.begin() + split, input.end(), '\n') > 200) {
    return 0;
  }
  morvek::fuzz::writeFile("morvek.cfg", "&cfg ngrid = 64, nhsrch = 100 /\n");
  morvek::fuzz::writeFile("data.txt", input.substr(0, split));
  const char* files[] = {"morvek-1.dat", "morvek-2.dat", "morvek-3.dat"};
  for (const char* name : files) std::remove(name);

  std::istringstream in{std::string(input.substr(split + 1))};
  std::ostringstream out;
  morvek::Console console(in, out);
  NoPlots runner;
  const int status = morvek::runMorvek(console, runner);
  const std::string transcript = out.str();
  const std::string closing = status == 0 ? "Morvek terminates successfully\n" : "Morvek terminates unsuccessfully\n";
  expect(status == 0 || status == 1, "exit status neither 0 nor 1", transcript);
  expect(transcript.ends_with(closing), "no closing line, or one the exit status belies", transcript);
  expect(transcript.find(std::string("\n") + morvek::kInternalError) == std::string::npos, "an unexpected exception",
         transcript);
  const auto exists = [](const char* name) { return std::filesystem::exists(name); };
  if (status == 0) expect(exists(files[1]) && exists(files[2]), "successful run without its result files", transcript);
  if (status == 1 && std::ranges::any_of(files, exists)) {
    // The message of a failure while writing them is the line before the closing line.
    const std::string_view body = std::string_view(transcript).substr(0, transcript.size() - closing.size());
    const std::string_view last = body.substr(std::min(body.size(), body.rfind('\n', body.size() - 2)));
    expect(last.starts_with("\nError during data file writing") || last.starts_with("\nError during data file opening"),
           "result files left by an unsuccessful run", transcript);
  }
  return 0;
}
