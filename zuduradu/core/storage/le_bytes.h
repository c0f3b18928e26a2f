// Little-endian encoding of the files' integers and 32-bit floats, independent
// of the host's byte order, and the byte hash the side files use.
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

inline void Put64(unsigned char* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline std::uint64_t Get64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
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

// The 64-bit FNV-1a hash of `bytes`, continued from `h`: the checksum of a
// journal and the mark of a shortened side-file name.
inline constexpr std::uint64_t kFnv1aStart = 0xCBF29CE484222325ULL;
inline std::uint64_t Fnv1a(std::span<const unsigned char> bytes, std::uint64_t h = kFnv1aStart) {
  for (const unsigned char b : bytes) h = (h ^ b) * 0x100000001B3ULL;
  return h;
}

// True when floats in memory already have the file's byte order, so a layer can
// be written straight from memory.
inline constexpr bool kFloatsAreLittleEndian = std::endian::native == std::endian::little;

}  // namespace kv
