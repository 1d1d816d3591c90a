#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Longest text a record field, an engine buffer or a wire text can hold:
// 259 bytes and the terminating zero.
inline constexpr std::size_t kMaxTextBytes = 260;

// The engine's flat link record. It is copied whole wherever it goes (queue,
// status reports, enumerations) and its layout is also its wire layout, so it
// must stay exactly 536 bytes with these offsets.
struct _LinkStructType {
  char szHref[kMaxTextBytes];      // complete address, zero-terminated
  char szFileName[kMaxTextBytes];  // bare file name in the download folder
  std::uint32_t dwFileSize;        // size announced by the server, 0 until known
  std::uint32_t dwCurrentSize;     // bytes in the target file so far
  std::uint32_t dwBytesPerSecond;  // speed of the current attempt
  std::uint32_t dwTimeouts;        // times put back after a timeout
};

static_assert(sizeof(_LinkStructType) == 536);
static_assert(alignof(_LinkStructType) == 4);
static_assert(offsetof(_LinkStructType, szHref) == 0);
static_assert(offsetof(_LinkStructType, szFileName) == 260);
static_assert(offsetof(_LinkStructType, dwFileSize) == 520);
static_assert(offsetof(_LinkStructType, dwCurrentSize) == 524);
static_assert(offsetof(_LinkStructType, dwBytesPerSecond) == 528);
static_assert(offsetof(_LinkStructType, dwTimeouts) == 532);

// Copies `text` into a record field with its terminator. A text that does not
// fit (260 bytes or more) or that holds a NUL byte is refused, never cut: a cut
// address would fetch or cancel something else. The field is untouched then.
bool CopyRecordText(char (&field)[kMaxTextBytes], std::string_view text);

// The text of a field up to its terminator; a field without one (a record that
// arrived from outside) ends at its 260th byte.
std::string_view RecordText(const char (&field)[kMaxTextBytes]);

// Forces a terminator into the last byte of both texts of a record that came
// from outside the process.
void TerminateRecordTexts(_LinkStructType& record);
