// Little-endian numbers read from bytes (the stored definitions' binary
// values, bitmap files). Portable, header-only; the caller has checked that
// the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace flinter::little_endian {

constexpr std::uint16_t read16(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

constexpr std::uint32_t read32(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace flinter::little_endian
