// Little-endian encoding of the file's 16-bit integers and 32-bit floats,
// independent of the host's byte order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

namespace kv {

inline void PutInt16(unsigned char* p, std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  p[0] = static_cast<unsigned char>(u & 0xFF);
  p[1] = static_cast<unsigned char>(u >> 8);
}

inline std::int16_t GetInt16(const unsigned char* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

inline void PutFloat(unsigned char* p, float v) {
  const auto u = std::bit_cast<std::uint32_t>(v);
  for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(u >> (8 * k));
}

inline float GetFloat(const unsigned char* p) {
  std::uint32_t u = 0;
  for (int k = 0; k < 4; ++k) u |= std::uint32_t{p[k]} << (8 * k);
  return std::bit_cast<float>(u);
}

// True when floats in memory already have the file's byte order, so a layer can
// be written straight from memory.
inline constexpr bool kFloatsAreLittleEndian = std::endian::native == std::endian::little;

}  // namespace kv
