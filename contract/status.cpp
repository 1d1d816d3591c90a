#include "contract/status.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <utility>

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  return text;
}

namespace {

struct EndingEntry {
  DownloadEnding ending;
  const char* format;  // the name, then how far it got
};

constexpr EndingEntry kEndings[] = {
    {DownloadEnding::Canceled, "Canceled downloading %s (%s)"},
    {DownloadEnding::Stopped, "Stopped downloading %s (%s)"},
    {DownloadEnding::Failed, "Failed downloading %s (%s)"},
    {DownloadEnding::Interrupted, "Interrupted downloading %s (%s); trying again"},
};

long long Signed(std::uint64_t value) { return value > INT64_MAX ? INT64_MAX : static_cast<long long>(value); }

}  // namespace

std::string EndingText(DownloadEnding ending, const char* name, std::uint64_t current, std::uint64_t total,
                       std::string_view reason) {
  if (ending == DownloadEnding::Finished) return FormatText(status_text::kFinished, name);
  const std::string progress = total != 0 ? FormatText("%lld of %lld bytes", Signed(current), Signed(total))
                                          : FormatText("%lld bytes", Signed(current));
  for (const EndingEntry& entry : kEndings) {
    if (entry.ending != ending) continue;
    std::string text = FormatText(entry.format, name, progress.c_str());
    if (ending == DownloadEnding::Failed && !reason.empty())
      text.append(": ").append(reason.substr(0, reason.find('\n')));
    return text;
  }
  return FormatText(status_text::kFinished, name);
}

std::string_view EndingReason(std::string_view text) {
  if (EndingOfText(text) != DownloadEnding::Failed) return {};
  const std::size_t reason = text.find("): ");
  return reason == std::string_view::npos ? std::string_view() : text.substr(reason + 3);
}

std::optional<DownloadEnding> EndingOfText(std::string_view text) {
  static constexpr std::pair<DownloadEnding, std::string_view> kLeads[] = {
      {DownloadEnding::Finished, "Finished downloading "}, {DownloadEnding::Canceled, "Canceled downloading "},
      {DownloadEnding::Stopped, "Stopped downloading "},   {DownloadEnding::Failed, "Failed downloading "},
      {DownloadEnding::Interrupted, "Interrupted downloading "},
  };
  for (const auto& [ending, lead] : kLeads)
    if (text.starts_with(lead)) return ending;
  return std::nullopt;
}

std::string NamingAddress(std::string_view text, std::string_view href) {
  std::string named(text);
  if (!href.empty() && text.find(href) == std::string_view::npos) {
    named += "\nURL: ";
    named += href;
  }
  return named;
}
