#include "tests/support/body_pattern.h"

char BodyByte(std::uint64_t offset) {
  const std::uint64_t mixed = offset ^ (offset >> 8) ^ (offset >> 16) ^ (offset >> 24) ^ (offset >> 32);
  return static_cast<char>((mixed * 167 + 13) & 0xFF);
}

void FillBody(std::uint64_t offset, char* out, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) out[i] = BodyByte(offset + i);
}

std::string BodyBytes(std::uint64_t offset, std::size_t length) {
  std::string bytes(length, '\0');
  FillBody(offset, bytes.data(), length);
  return bytes;
}
