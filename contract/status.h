#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
// The status number, its reason phrase ("404", "Not Found"), the file name.
inline constexpr char kDownloadError[] = "Download error: %d %s\nFile: %s";
inline constexpr char kStartingSized[] = "Downloading %s, %lld bytes";
inline constexpr char kStartingUnknownSize[] = "Downloading %s, unknown size %d";
inline constexpr char kProgress[] = "Downloading %s, %lld of %lld bytes";
// The error number, then what it means in words, then (second form) the
// address.
inline constexpr char kErrorOpeningUrl[] = "Error Opening URL: %d (%s)";
inline constexpr char kErrorOpeningUrlWithHref[] = "Error Opening URL: %d (%s)\nURL: %s";
// Only for a file that is whole: every announced byte, or the clean end of
// a body without a length. Every other ending says what happened instead
// (see EndingText).
inline constexpr char kFinished[] = "Finished downloading %s";
inline constexpr char kCanceled[] = "Canceled %s";
inline constexpr char kQueued[] = "";
// A target file that cannot be created or written (disk full, no rights):
// the path and the system's reason.
inline constexpr char kFileError[] = "Error writing file: %s\n%s";
}  // namespace status_text

// How one attempt at a file ended. STATUS_DONE ends every attempt; its text
// tells these apart, so that nothing stopped or broken reads as finished.
enum class DownloadEnding {
  Finished,     // the file is whole
  Canceled,     // the user cancelled this file
  Stopped,      // the user stopped all downloads
  Failed,       // an error was reported; the file will not be tried again
  Interrupted,  // cut short; the file goes back to the queue and resumes
};

// The STATUS_DONE text of an ending: the file's name and how far it got
// (`total` 0 when no size was announced). A failure names its reason after
// a colon when one is given (the first line of the error reported), so that
// every client learns why, not only the one that receives error texts.
std::string EndingText(DownloadEnding ending, const char* name, std::uint64_t current, std::uint64_t total,
                       std::string_view reason = {});
// The ending a STATUS_DONE text tells; none for a text of another form.
std::optional<DownloadEnding> EndingOfText(std::string_view text);
// The reason a failure's ending names after its progress; empty when the
// text names none.
std::string_view EndingReason(std::string_view text);

// An error text for a box about one link: as it is when it names the
// address already, otherwise with "\nURL: address" added, so that every box
// says which link it is about.
std::string NamingAddress(std::string_view text, std::string_view href);

// printf into a std::string of whatever length the result needs: status texts
// are formatted in full even when a long name makes them exceed 260 bytes.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
