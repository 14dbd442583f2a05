// Fuzzes the configuration reader: the input is the whole morvek.cfg.
// A Fatal or NrError stop is a clean end; anything else escapes to
// libFuzzer as a fault.
#include <cstdint>

#include "morvek/config.h"
#include "morvek/fatal.h"
#include "numerics/nrerror.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  morvek::fuzz::setUp(argc, argv, "config");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  morvek::fuzz::writeFile("morvek.cfg", std::string_view(reinterpret_cast<const char*>(data), size));
  morvek::State state;
  try {
    morvek::read0(state);
  } catch (const morvek::Fatal&) {
  } catch (const numerics::NrError&) {
  }
  return 0;
}
