#include "proxystub/registration_switch.h"

#include <string_view>

#include "contract/ascii_text.h"

namespace ps {

RegistrationSwitch FindRegistrationSwitch(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += argument;
  }
  for (std::size_t at = line.find_first_of("-/"); at != std::string::npos; at = line.find_first_of("-/", at + 1)) {
    const std::string_view rest = std::string_view(line).substr(at + 1);
    if (EqualsAnyCase(rest, "UnregServer")) return RegistrationSwitch::UnregServer;
    if (EqualsAnyCase(rest, "RegServer")) return RegistrationSwitch::RegServer;
  }
  return RegistrationSwitch::None;
}

}  // namespace ps
