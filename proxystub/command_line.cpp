#include "proxystub/command_line.h"

#include "proxystub/class_registry.h"

#include <string_view>
#include <strings.h>

namespace ps {

namespace {

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  return text.size() == word.size() && ::strncasecmp(text.data(), word.data(), word.size()) == 0;
}

bool IsIntroducer(char c) { return c == '-' || c == '/'; }

}  // namespace

RegistrationSwitch FindRegistrationSwitch(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument;
  }
  for (std::size_t at = line.find_first_of("-/"); at != std::string::npos; at = line.find_first_of("-/", at + 1)) {
    const std::string_view rest = std::string_view(line).substr(at + 1);
    if (EqualsIgnoringCase(rest, "UnregServer")) return RegistrationSwitch::UnregServer;
    if (EqualsIgnoringCase(rest, "RegServer")) return RegistrationSwitch::RegServer;
  }
  return RegistrationSwitch::None;
}

ShellCommand ParseShellCommand(const std::vector<std::string>& arguments) {
  ShellCommand command;
  for (const std::string& argument : arguments) {
    if (argument.empty()) continue;
    if (!IsIntroducer(argument[0])) {
      command.documents.push_back(argument);
      continue;
    }
    const std::string_view name = std::string_view(argument).substr(1);
    if (EqualsIgnoringCase(name, "Register") || EqualsIgnoringCase(name, "Regserver"))
      command.registerRequest = true;
    else if (EqualsIgnoringCase(name, "Unregister") || EqualsIgnoringCase(name, "Unregserver"))
      command.unregisterRequest = true;
    else if (EqualsIgnoringCase(name, "Embedding"))
      command.embedding = true;
    else if (EqualsIgnoringCase(name, "Automation"))
      command.automation = true;
    // Print and exchange switches have no use in these programs.
  }
  return command;
}

StartAction DecideStart(const ShellCommand& command) {
  // Unregistering finds nothing of a window program's own to remove, and
  // says so unless the object runtime started it.
  if (command.unregisterRequest) return command.embedding ? StartAction::End : StartAction::ConfirmUnregister;
  if (command.registerRequest || command.embedding || command.automation) return StartAction::End;
  return StartAction::Run;
}

bool OpensWindow(const ShellCommand& command, const std::function<void()>& confirmUnregister) {
  const StartAction action = DecideStart(command);
  if (action == StartAction::ConfirmUnregister) confirmUnregister();
  return action == StartAction::Run;
}

std::optional<int> RunRegistrationSwitch(const std::vector<std::string>& arguments,
                                         const class_registry::AppIdentity& app) {
  switch (FindRegistrationSwitch(arguments)) {
    case RegistrationSwitch::RegServer:
      class_registry::RegisterAppId(app);
      return 0;
    case RegistrationSwitch::UnregServer:
      class_registry::UnregisterAppId(app);
      return 0;
    case RegistrationSwitch::None:
      break;
  }
  return std::nullopt;
}

}  // namespace ps
