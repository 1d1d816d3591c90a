#include "contract/link_record.h"

#include <cstring>

bool CopyRecordText(char (&field)[kMaxTextBytes], std::string_view text) {
  if (text.size() >= kMaxTextBytes || text.find('\0') != std::string_view::npos) return false;
  std::memcpy(field, text.data(), text.size());
  std::memset(field + text.size(), 0, kMaxTextBytes - text.size());
  return true;
}

std::string_view RecordText(const char (&field)[kMaxTextBytes]) {
  const void* end = std::memchr(field, 0, kMaxTextBytes);
  const std::size_t length = end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : kMaxTextBytes;
  return {field, length};
}

void TerminateRecordTexts(_LinkStructType& record) {
  record.szHref[kMaxTextBytes - 1] = '\0';
  record.szFileName[kMaxTextBytes - 1] = '\0';
}
