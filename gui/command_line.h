#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ps::class_registry {
struct AppIdentity;
}

// The window programs' command line. The first pass, the registration
// switch, is every program's own (proxystub/registration_switch.h); the
// second pass and what follows from both are the window programs' alone.
// Both passes see the arguments after the program's name.
namespace gui {

// The second pass, one argument at a time, for the window programs when the
// first found nothing. A switch is an argument that begins with "-" or "/";
// its name is compared without regard to case. Any other argument is a
// document to open, in order.
struct ShellCommand {
  bool registerRequest = false;    // "Register" or "Regserver"
  bool unregisterRequest = false;  // "Unregister" or "Unregserver"
  bool embedding = false;          // "Embedding": started by the object runtime
  bool automation = false;         // "Automation"
  std::vector<std::string> documents;
};
ShellCommand ParseShellCommand(const std::vector<std::string>& arguments);

// What a window program does after the second pass.
enum class StartAction {
  Run,                // create the document and the window
  End,                // a register request, or a start for embedding or automation: end without a window
  ConfirmUnregister,  // an unregister request: say it is done in a box, then end
};
StartAction DecideStart(const ShellCommand& command);
// The same as a yes or no: whether the window opens. An unregister request
// runs `confirmUnregister` (which shows its box) first.
bool OpensWindow(const ShellCommand& command, const std::function<void()>& confirmUnregister);

// The first pass of a window program: "RegServer" or "UnregServer" writes or
// removes `app`'s application entries; the program then ends with the code
// given. None when there is no such switch.
std::optional<int> RunRegistrationSwitch(const std::vector<std::string>& arguments,
                                         const ps::class_registry::AppIdentity& app);

// What a window program does before its window system starts: the first
// pass, then the second pass's decision; when the window will open, the
// engine beside the program is registered. The exit code when the program
// ends here, before any window; none when it goes on to InitInstance.
std::optional<int> PrepareWindowProgram(const std::vector<std::string>& arguments,
                                        const ps::class_registry::AppIdentity& app);

}  // namespace gui
