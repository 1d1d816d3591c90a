#include "gui/command_line.h"

#include <string_view>

#include "contract/ascii_text.h"
#include "proxystub/class_registry.h"
#include "proxystub/registration_switch.h"

namespace gui {

namespace class_registry = ps::class_registry;

namespace {

bool IsIntroducer(char c) { return c == '-' || c == '/'; }

}  // namespace

ShellCommand ParseShellCommand(const std::vector<std::string>& arguments) {
  ShellCommand command;
  for (const std::string& argument : arguments) {
    if (argument.empty()) continue;
    if (!IsIntroducer(argument[0])) {
      command.documents.push_back(argument);
      continue;
    }
    const std::string_view name = std::string_view(argument).substr(1);
    if (EqualsAnyCase(name, "Register") || EqualsAnyCase(name, "Regserver"))
      command.registerRequest = true;
    else if (EqualsAnyCase(name, "Unregister") || EqualsAnyCase(name, "Unregserver"))
      command.unregisterRequest = true;
    else if (EqualsAnyCase(name, "Embedding"))
      command.embedding = true;
    else if (EqualsAnyCase(name, "Automation"))
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
  switch (ps::FindRegistrationSwitch(arguments)) {
    case ps::RegistrationSwitch::RegServer:
      class_registry::RegisterAppId(app);
      return 0;
    case ps::RegistrationSwitch::UnregServer:
      class_registry::UnregisterAppId(app);
      return 0;
    case ps::RegistrationSwitch::None:
      break;
  }
  return std::nullopt;
}

std::optional<int> PrepareWindowProgram(const std::vector<std::string>& arguments,
                                        const class_registry::AppIdentity& app) {
  // Neither pass needs a window system unless a box must say something.
  if (const auto code = RunRegistrationSwitch(arguments, app)) return code;
  const StartAction action = DecideStart(ParseShellCommand(arguments));
  if (action == StartAction::End) return 0;
  // The engine that came with this program serves it, wherever it was installed.
  if (action == StartAction::Run) class_registry::RegisterEngineBesideMe();
  return std::nullopt;
}

}  // namespace gui
