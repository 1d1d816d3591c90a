#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Size of a regular file, or 0 when nothing (or a folder) is there: an empty
// file and a folder both count as absent.
std::uint64_t FileSizeIfExists(const std::string& path);

// Creates a folder with every missing parent. Succeeds when the folder is
// there afterwards (also when it already was).
bool CreateDirectoryPath(const std::string& path);

// Creates the download folder as needed and gives folder + file name.
std::string ComposeTargetPath(const std::string& directory, std::string_view fileName);

// The name a download is stored under, whatever name the client sent: only
// the last component of the given name after "/" or "\\" is kept, so nothing
// is ever written outside the download folder, and it is made safe as every
// name is (CleanFileName). When that leaves it empty, "." or "..", the name
// is the one the address gives (FileNameFromAddress).
std::string SafeFileName(std::string_view fileName, std::string_view href);
