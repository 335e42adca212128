#pragma once

namespace exchange::detail {

// Lead bytes 0x81-0x9F and 0xE0-0xFC, in that order; trail bytes 0x40-0xFF.
inline constexpr int kCp932LeadCount = 31 + 29;
inline constexpr int kCp932TrailCount = 0x100 - 0x40;

// Unicode code unit for each pair, 0 where code page 932 defines none.
extern const char16_t kCp932DoubleByte[kCp932LeadCount][kCp932TrailCount];

} // namespace exchange::detail
