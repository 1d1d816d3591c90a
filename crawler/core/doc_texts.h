#pragma once

#include "contract/status.h"

// The texts the crawler's document shows, as printf formats. They are the
// texts users and their scripts have always seen; change none of them. The
// texts about pages cut short are newer and only add to them.
namespace crawl_text {
inline constexpr char kCrawling[] = "Crawling %s";
inline constexpr char kDeepCrawling[] = "Deep Crawling %s";
inline constexpr char kCrawlComplete[] = "Crawl complete.";
// A page read stops at the page limits: the page was cut there, and the
// crawl goes on with what came of it.
inline constexpr char kPageTooLarge[] = "Page cut short after %llu bytes: %s";
inline constexpr char kPageTooSlow[] = "Page cut short after %.1f seconds: %s";
// In place of kCrawlComplete when the crawl cut any page short.
inline constexpr char kCrawlCompleteCut[] = "Crawl complete. Pages cut short: %lu.";
// A list takes at most so many links (written with thousands separators,
// "1,000,000"); past that the crawl lists no more, and the page where it
// stopped is named.
inline constexpr char kLinksCut[] = "Only the first %s links are listed: %s";
// In place of kCrawlComplete when the list was full.
inline constexpr char kCrawlCompleteLinksCut[] = "Crawl complete. Only the first %s links are listed.";
inline constexpr char kCrawlCompleteCutLinksCut[] =
    "Crawl complete. Pages cut short: %lu. Only the first %s links are listed.";
// A page, a file or a size query answered with a status of 400 or more.
inline constexpr char kDownloadError[] = "Download error: %d";
// The same with the status's reason phrase ("Download error: 404 Not Found").
inline constexpr char kDownloadErrorReason[] = "Download error: %d %s";
}  // namespace crawl_text

namespace download_text {
inline constexpr char kCouldNotStart[] = "Download couldn't start";
inline constexpr char kTrying[] = "Trying to download %s";
// The Content-Length text exactly as the server sent it.
inline constexpr char kSized[] = "Downloading %s, %s bytes";
// The error number of the missing length header.
inline constexpr char kUnknownSize[] = "Downloading %s, unknown size %d";
// Counts printed from 64-bit values, so a file of 2 GiB or more never shows a
// negative size; below that the text is the same as with 32-bit numbers.
inline constexpr char kProgress[] = "Downloading %s, %lld of %lld bytes";
inline constexpr char kFinished[] = "Finished downloading %s";
inline constexpr char kComplete[] = "Download complete.";
// A target file that cannot be created or written: the path and the reason.
inline constexpr const char* kFileError = status_text::kFileError;
}  // namespace download_text
