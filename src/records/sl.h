#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

// SL recorder sets: a header file (".SL": a 40-byte header, then a 4-byte head per data block)
// and one data file per channel (".00", ".01", ...) of 1024-byte blocks of 512 uint16 words.

inline constexpr int64_t kSlHeaderSize = 40;
inline constexpr int64_t kSlBlockHeadSize = 4;
inline constexpr int64_t kSlBlockBytes = 1024;
inline constexpr int kSlBlockWords = 512;
// The recorder's ADC resolution in bits.
inline constexpr int kSlAdcBits = 12;
// Sampling rate per unit of the header's rate word, Hz.
inline constexpr double kSlRateUnit = 18.206759746700236514;

// The variant of a 40-byte header ("[HS0", "[HS2", "[HS3" or "[HS4") from its bytes 16-19;
// sub_kind (may be null) receives the sub-kind, which is 0 unless the variant is "[HS0".
FormatTag SlVariant(std::span<const uint8_t, kSlHeaderSize> header, int* sub_kind);

// The tag of an SL header file, 0 when it is 40 bytes or shorter or cannot be opened; a longer
// file whose header cannot be read keeps the provisional tag kTagSlProvisional.
FormatTag RecognizeSl(const std::string& path, int* sub_kind);

// The data file of channel (counted from 0) of the set whose header file is header_path.
std::string SlChannelFileName(const std::string& header_path, int channel);

// Station "Sta", start, rate and up to 32 channels from the 40-byte header; BlockCount from the
// size of the ".00" file (0 when it is missing). False when the header cannot be read.
bool ReadSlHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                  TStatus* why = nullptr);

// Decodes one data block of 512 words (shorter input counts as missing words of 0), with
// marker_length the header's byte 19, and appends its 512 - d samples to out; returns d, the
// number of leading words the marker rule drops.
int DecodeSlBlock(std::span<const uint8_t> block, int marker_length, int adc_bits,
                  std::vector<int32_t>& out);

// Decodes the blocks of the channel files of an SL set at the sequential position.
void ReadSlInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik
