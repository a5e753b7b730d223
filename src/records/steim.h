#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvik {

// Decodes Steim frames (64 bytes each, big-endian) into out, level 1 or 2. out.size() is the
// segment's Count: its last entry is preset to the reverse integration constant and the others
// to 0, so samples the frames do not reach stay 0. Returns the number of samples decoded.
// The unpacking is the fastest the processor has (kFastest); kPortable picks the one that runs
// on any processor, so that tests compare the two; both give the same samples.
enum class SteimUnpack { kFastest, kPortable };
size_t DecodeSteim(std::span<const uint8_t> frames, int level, std::span<int32_t> out,
                   SteimUnpack unpack = SteimUnpack::kFastest);

// How many of the samples DecodeSteim gave (decoded of out.size()) are recorded data: none when
// every sample was decoded but the last disagrees with the reverse integration constant of the
// first frame (the frames are damaged, and so may be every sample before); the decoded ones
// when the frames ended early (the rest were never in the frames); all of them otherwise.
size_t SteimSoundSamples(std::span<const uint8_t> frames, std::span<const int32_t> out,
                         size_t decoded);

}  // namespace tarvik
