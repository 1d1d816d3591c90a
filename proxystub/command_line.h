#pragma once

#include <optional>
#include <string>
#include <vector>

// The command lines of the three programs. Both passes see the arguments
// after the program's name.
namespace ps {

enum class RegistrationSwitch { None, RegServer, UnregServer };

// The first pass, the programs' own: the arguments are joined with spaces
// and each "-" or "/" in that line is looked at in turn; when everything
// after it, to the end of the line, is "UnregServer" or "RegServer" in any
// letter case, that decides. A switch followed by a further word is not one.
RegistrationSwitch FindRegistrationSwitch(const std::vector<std::string>& arguments);

// The second pass, one argument at a time, for the window programs when the
// first found nothing. A switch is an argument that begins with "-" or "/";
// its name is compared without regard to case. Any other argument is a
// document to open: the first one is kept.
struct ShellCommand {
  bool registerRequest = false;    // "Register" or "Regserver"
  bool unregisterRequest = false;  // "Unregister" or "Unregserver"
  bool embedding = false;          // "Embedding": started by the object runtime
  bool automation = false;         // "Automation"
  std::optional<std::string> document;
};
ShellCommand ParseShellCommand(const std::vector<std::string>& arguments);

}  // namespace ps
