#include "contract/stores.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string StoreFolder() {
  // A relative XDG_CONFIG_HOME is not one: it would depend on the folder
  // each program happens to start in.
  std::string base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    base = config;
  else
    base = HomeFolder() + "/.config";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Tarnwell";
}

std::string StoreFilePath(const char* fileName) { return StoreFolder() + "/" + fileName; }

std::string StoreGroupPath(std::string_view subkey) {
  std::string group;
  while (!subkey.empty()) {
    const std::size_t cut = subkey.find('\\');
    const std::string_view part = subkey.substr(0, cut);
    if (!part.empty()) {
      if (!group.empty()) group += '/';
      group += EscapeSettingsName(part);
    }
    if (cut == std::string_view::npos) break;
    subkey.remove_prefix(cut + 1);
  }
  return group;
}

std::string StoreValueKey(std::string_view name) {
  return name.empty() ? std::string(kDefaultValueKey) : EscapeSettingsName(name);
}

std::string EscapeSettingsName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(name.size());
  for (char c : name) {
    // "@" is escaped too so that no name collides with the default value's key.
    if (c == '%' || c == '/' || c == '\\' || c == '@') {
      escaped += '%';
      escaped += kHex[static_cast<unsigned char>(c) >> 4];
      escaped += kHex[static_cast<unsigned char>(c) & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string UnescapeSettingsName(std::string_view escaped) {
  std::string name;
  name.reserve(escaped.size());
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '%' && i + 2 < escaped.size()) {
      const int high = HexValue(escaped[i + 1]);
      const int low = HexValue(escaped[i + 2]);
      if (high >= 0 && low >= 0) {
        name += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    name += escaped[i];
  }
  return name;
}
