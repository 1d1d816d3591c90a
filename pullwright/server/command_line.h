#pragma once

#include <string>
#include <vector>

enum class ServerCommand { Run, RegServer, UnregServer };

// The command line is the arguments after the program's name joined with
// spaces. Each "-" or "/" in it is looked at in turn: when everything after
// it, to the end of the line, is "UnregServer" or "RegServer" in any letter
// case, that decides; with no such switch the program runs as the server.
ServerCommand ParseServerCommand(const std::vector<std::string>& arguments);
