#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "records/load_target.h"
#include "records/record_model.h"

namespace tarvik {

inline constexpr int kReftekPacketBytes = 1024;
inline constexpr int kReftekChannels = 16;
// Steim data of a packet: 15 frames from byte 64.
inline constexpr int kReftekSteimOffset = 64;
inline constexpr int kReftekSteimBytes = 960;
// Uncompressed data begins right after the data packet's header.
inline constexpr int kReftekDataOffset = 24;
// The most samples any packet yields (Steim-2: seven differences in each word of 15 frames).
inline constexpr int kReftekMaxPacketSamples = 15 * 16 * 7;

// What an event header ("EH") or trailer ("ET") packet says about the recording.
struct TReftekEvent {
  std::string Station;     // station name followed by its extension, blanks trimmed
  std::string StreamName;  // trimmed
  double SampRate = 0.0;   // 0 when the text is not a positive number
  std::optional<TDateTime> FirstSampleTime;
  std::array<double, kReftekChannels> Coefs{};  // counts per volt, 1 where no gain is given
};

// The packet type of a 1024-byte packet ("EH", "ET", "DT" or anything else).
std::string ReftekPacketType(std::span<const uint8_t> packet);

// Decimal value of `digits` binary-coded decimal digits from p (two per byte, high nibble
// first); nullopt when a nibble is not a decimal digit.
std::optional<int> ReftekBcd(const uint8_t* p, int digits);

// The packet time of the header (year in byte 3, DDDHHMMSSTTT in bytes 6-11); nullopt when it
// is not valid BCD or not a time.
std::optional<TDateTime> ReftekPacketTime(std::span<const uint8_t> packet);

// The event header fields of an "EH" or "ET" packet.
TReftekEvent ParseReftekEvent(std::span<const uint8_t> packet);

// A channel gain text ("1.585 uV") in volts per count; nullopt when it is not a positive number.
std::optional<double> ReftekGainVolts(std::string_view text);

// The sample type code of a data format byte; 0 for formats that cannot be decoded.
int32_t ReftekSampleType(uint8_t format);

// The samples a "DT" packet yields: its BCD count, 0 meaning a full packet for uncompressed
// data, bounded by what the packet can hold; 0 for a damaged count or an unknown format.
int ReftekPacketSamples(std::span<const uint8_t> packet);

// Why a packet is not a Reftek 130 packet (an unknown type, a head that is not BCD, a time out
// of range); empty when it is.
TStatus ReftekPacketProblem(std::span<const uint8_t> packet);

// Decodes a "DT" packet into out (resized to the packet's samples). Returns how many of them,
// from the first, are recorded data (fewer for Steim frames that end early or fail their check).
int DecodeReftekPacket(std::span<const uint8_t> packet, std::vector<int32_t>& out);

// Header of a Reftek 130 file (rate and names from an earlier file of the folder when this one
// has no event header); false when the file holds no packet.
bool ReadReftekHeader(const std::string& path, TFileRecordInfo& info, double default_rate,
                      TStatus* why = nullptr);

// One segment per "DT" packet.
void BuildReftekSegments(const std::string& path, TRecList& list, const std::string& station);

// Decodes every "DT" packet into its channel at that channel's own write position.
void ReadReftekInto(const std::string& path, LoadTarget& target);

}  // namespace tarvik
