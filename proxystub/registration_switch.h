#pragma once

#include <string>
#include <vector>

// The switch all three programs look for first, the engine server among
// them; it sees the arguments after the program's name.
namespace ps {

enum class RegistrationSwitch { None, RegServer, UnregServer };

// The arguments are joined with spaces and each "-" or "/" in that line is
// looked at in turn; when everything after it, to the end of the line, is
// "UnregServer" or "RegServer" in any letter case, that decides. A switch
// followed by a further word is not one.
RegistrationSwitch FindRegistrationSwitch(const std::vector<std::string>& arguments);

}  // namespace ps
