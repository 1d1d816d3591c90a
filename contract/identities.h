#pragma once

#include <array>
#include <cstdint>
#include <string>

// A 128-bit identity of a class, interface, type library or program. The
// values below were generated once and never change: stored registrations and
// every program of the system depend on them.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::array<std::uint8_t, 8> data4;

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, the registry's form.
std::string GuidToString(const Guid& guid);

inline constexpr Guid CLSID_DownloadEngine{0x8b468963, 0x5cf5, 0x4085, {0x8b, 0x4d, 0x47, 0xec, 0x2a, 0x84, 0x3b, 0x95}};
inline constexpr Guid IID_IDownloadEngine{0xcf7494f0, 0x6bb8, 0x4097, {0xab, 0xd4, 0xa5, 0x88, 0x1b, 0xf9, 0x7a, 0x79}};
inline constexpr Guid IID_IEnumFiles{0x43f4a40f, 0xcd31, 0x47b9, {0x95, 0x98, 0xe8, 0x9a, 0xf9, 0x6e, 0x8c, 0xac}};
inline constexpr Guid IID_ICallbackItf{0x856550cc, 0x21b9, 0x47d8, {0xa2, 0x57, 0xc8, 0x9c, 0x7d, 0x73, 0x37, 0xfa}};
inline constexpr Guid LIBID_PullwrightLib{0x7911d7ee, 0x89c3, 0x4cd3, {0x80, 0x52, 0x8e, 0x1b, 0x3d, 0xfa, 0x59, 0x3f}};
inline constexpr Guid APPID_Pullwright{0x8cf08f44, 0xbe80, 0x4eff, {0x9d, 0x96, 0xe0, 0xa2, 0x71, 0x85, 0x04, 0x7b}};
inline constexpr Guid APPID_Fetchwick{0x984294b8, 0x904e, 0x4705, {0xad, 0xbd, 0x28, 0x9f, 0x52, 0x03, 0xec, 0xda}};
inline constexpr Guid APPID_Queuebay{0x758bec45, 0xdb9f, 0x46a6, {0x98, 0x21, 0x5c, 0x27, 0x18, 0x50, 0x27, 0xf3}};

// Names of the registration entries in the class registry.
namespace registration {
inline constexpr char kEngineDescription[] = "DownloadEngine Class";
inline constexpr char kProgId[] = "Pullwright.DownloadEngine.1";
inline constexpr char kVersionIndependentProgId[] = "Pullwright.DownloadEngine";
inline constexpr char kClsidKey[] = "CLSID";
inline constexpr char kAppIdKey[] = "AppID";
inline constexpr char kCurVer[] = "CurVer";
inline constexpr char kProgIdSubkey[] = "ProgID";
inline constexpr char kVersionIndependentProgIdSubkey[] = "VersionIndependentProgID";
inline constexpr char kLocalServer32[] = "LocalServer32";
inline constexpr char kTypeLib[] = "TypeLib";
inline constexpr char kTypeLibName[] = "PullwrightLib";
inline constexpr char kTypeLibHelp[] = "Pullwright 1.0 Type Library";
inline constexpr char kEngineAppName[] = "Pullwright";
inline constexpr char kEngineExeKey[] = "Pullwright.EXE";
inline constexpr char kCrawlerAppName[] = "Fetchwick";
inline constexpr char kCrawlerExeKey[] = "Fetchwick.EXE";
inline constexpr char kManagerAppName[] = "Queuebay";
inline constexpr char kManagerExeKey[] = "Queuebay.EXE";
}  // namespace registration
