#pragma once
// The entry point every fuzz target defines, and the replay driver calls when libFuzzer is absent.
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
