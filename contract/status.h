#pragma once

#include <cstdint>
#include <string>

// Status codes of ICallbackItf::DownloadStatus. The engine sends only these six;
// clients treat any other value as unknown.
enum DownloadStatusCode : std::uint32_t {
  STATUS_ERROR = 3,
  STATUS_STARTING = 4,
  STATUS_DONE = 5,
  STATUS_PROGRESS = 6,
  STATUS_TRYING = 7,
  STATUS_QUEUED = 8,
};

// Every status text the engine sends, as printf formats. %s is the record's
// file name, except in kStatusErrorOpeningUrlWithHref where it is the address.
// Error and status numbers are printed with %d; sizes with %lld from their
// true 64-bit values, so that files of 2 GiB and more do not show negative.
namespace status_text {
inline constexpr char kTrying[] = "Trying to download %s";
inline constexpr char kDownloadError[] = "Download error: %d\nFile: %s";
inline constexpr char kStartingSized[] = "Downloading %s, %lld bytes";
inline constexpr char kStartingUnknownSize[] = "Downloading %s, unknown size %d";
inline constexpr char kProgress[] = "Downloading %s, %lld of %lld bytes";
inline constexpr char kErrorOpeningUrl[] = "Error Opening URL: %d";
inline constexpr char kErrorOpeningUrlWithHref[] = "Error Opening URL: %d\nURL: %s";
inline constexpr char kFinished[] = "Finished downloading %s";
inline constexpr char kCanceled[] = "Canceled %s";
inline constexpr char kQueued[] = "";
// A target file that cannot be created or written (disk full, no rights):
// the path and the system's reason.
inline constexpr char kFileError[] = "Error writing file: %s\n%s";
}  // namespace status_text

// printf into a std::string of whatever length the result needs: status texts
// are formatted in full even when a long name makes them exceed 260 bytes.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
