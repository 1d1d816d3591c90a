#pragma once

#include <span>

#include "gui/command_set.h"

// The download manager's command ids, as its menus, toolbar and keys have
// always numbered them.
namespace queuebay::cmd {
inline constexpr int ID_STOP_DOWNLOADS = 32771;
inline constexpr int ID_OPTIONS = 32772;
inline constexpr int ID_VIEW_REFRESH = 32773;
inline constexpr int ID_CANCEL_DOWNLOADS = 32774;
inline constexpr int ID_ADD_URL = 32776;
inline constexpr int ID_OPEN_DOWNLOADS = 32777;
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;
// Beside the classic commands: the history's, and pasting addresses.
inline constexpr int ID_HISTORY_OPEN = 32800;
inline constexpr int ID_HISTORY_OPEN_FOLDER = 32801;
inline constexpr int ID_HISTORY_DOWNLOAD_AGAIN = 32802;
inline constexpr int ID_HISTORY_REMOVE = 32803;
inline constexpr int ID_HISTORY_CLEAR = 32804;
inline constexpr int ID_PASTE_ADDRESSES = 32805;
// The context menu's own wording of two commands.
inline constexpr int ID_CONTEXT_CANCEL = 0x10000 + ID_CANCEL_DOWNLOADS;
inline constexpr int ID_CONTEXT_ADD_URL = 0x10000 + ID_ADD_URL;
// The status bar's download status pane.
inline constexpr int ID_INDICATOR_STATUS = 61204;
}  // namespace queuebay::cmd

namespace queuebay {
std::span<const gui::CommandSpec> ManagerCommands();
}
