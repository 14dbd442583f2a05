// Fuzzes the data file reader: the first byte picks the data type (its
// value modulo 3: ordinary, extreme, times), the rest is the data file.
// The pre-scan and the read run as the start-up runs them; pauses of the
// time-order report are answered from a few empty lines.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "morvek/console.h"
#include "morvek/datafile.h"
#include "morvek/fatal.h"
#include "morvek/format.h"
#include "morvek/startup.h"
#include "morvek/state.h"
#include "numerics/nrerror.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  morvek::fuzz::setUp(argc, argv, "datafile");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  constexpr morvek::DataType kTypes[] = {morvek::DataType::ordinary, morvek::DataType::extreme,
                                         morvek::DataType::times};
  morvek::State s;
  s.setting.datatype = kTypes[data[0] % 3];
  morvek::fuzz::writeFile("data.txt",
                          std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  // The start-up keeps the name blank-padded to 50 characters.
  s.setting.inputfile = morvek::fmtA("data.txt", 50);
  std::istringstream in(std::string(200, '\n'));
  std::ostringstream out;
  morvek::Console console(in, out);
  try {
    morvek::chsett2(s, console);
    morvek::allocate0(s);
    morvek::init0(s);
    morvek::read1(s, console, morvek::ReadOption::values);
  } catch (const morvek::Fatal&) {
  } catch (const numerics::NrError&) {
  }
  return 0;
}
