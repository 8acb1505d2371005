// libFuzzer target: arbitrary byte streams, in arbitrary chunks, through a
// channel's transport into ProcessReceived and straight into ParseReply, in
// every channel state. The harness and its input layout: FuzzHarness.h.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string why;
  if (!brimlink::fuzz::RunFuzzInput(data, size, &why)) {
    std::fprintf(stderr, "fuzz_process_received: invariant violated: %s\n", why.c_str());
    __builtin_trap();
  }
  return 0;
}
