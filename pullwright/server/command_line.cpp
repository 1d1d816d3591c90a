#include "pullwright/server/command_line.h"

#include <string_view>
#include <strings.h>

namespace {

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  return text.size() == word.size() && ::strncasecmp(text.data(), word.data(), word.size()) == 0;
}

}  // namespace

ServerCommand ParseServerCommand(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument;
  }
  for (std::size_t at = line.find_first_of("-/"); at != std::string::npos; at = line.find_first_of("-/", at + 1)) {
    const std::string_view rest = std::string_view(line).substr(at + 1);
    if (EqualsIgnoringCase(rest, "UnregServer")) return ServerCommand::UnregServer;
    if (EqualsIgnoringCase(rest, "RegServer")) return ServerCommand::RegServer;
  }
  return ServerCommand::Run;
}
