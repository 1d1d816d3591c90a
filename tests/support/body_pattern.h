#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Generated bodies: the byte at each offset is a function of the offset
// alone, with no short period, so a server can produce any part of a body
// of any size without holding it, and a test can check what a client got
// (including that no piece was skipped or repeated) without holding it either.
char BodyByte(std::uint64_t offset);
void FillBody(std::uint64_t offset, char* out, std::size_t length);
std::string BodyBytes(std::uint64_t offset, std::size_t length);
