// Writes one value of the settings store many times, each in its own
// open/write/close, and a distinct marker value every tenth time: the
// cross-process settings test runs two of these at once.
#include <cstdlib>
#include <string>

#include "settings/settings_key.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string name = argv[1];
  const int count = std::atoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    auto key = SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick);
    if (!key) return 1;
    key->WriteDword(name, static_cast<std::uint32_t>(i));
    if (i % 10 == 0) key->WriteString(name + "-mark-" + std::to_string(i), "x");
    if (!key->Close()) return 1;
  }
  return 0;
}
