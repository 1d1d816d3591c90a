#pragma once

#include <span>

#include "gui/command_set.h"

// The crawler's command ids, as its menus, toolbar and keys have always
// numbered them.
namespace cmd {
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_FILE_OPEN_URL = 57601;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;
inline constexpr int ID_GO = 1001;
inline constexpr int ID_DOWNLOAD_FILES = 32771;
inline constexpr int ID_LAUNCH_BROWSER = 32772;
inline constexpr int ID_OPTIONS = 32773;
inline constexpr int ID_STOP_DOWNLOADS = 32778;
inline constexpr int ID_GO_BACK = 32779;
inline constexpr int ID_CRAWL_PAGE = 32780;
inline constexpr int ID_CANCEL_CURRENT_DOWNLOAD = 32781;
inline constexpr int ID_STOP_CRAWL = 32782;
inline constexpr int ID_GO_FORWARD = 32783;
inline constexpr int ID_DOWNLOAD_MANAGER = 32784;
inline constexpr int ID_REFRESH = 32785;
inline constexpr int ID_DEEP_CRAWL = 32788;
inline constexpr int ID_GET_FILE_SIZE = 32789;
inline constexpr int ID_OPEN_DOWNLOADS = 32790;
inline constexpr int ID_CLEAR_HISTORY = 32791;
// Commands the window has beyond its first ones.
inline constexpr int ID_DEEP_CRAWL_PAGE = 32792;
inline constexpr int ID_COPY_ADDRESS = 32793;
inline constexpr int ID_SELECT_ALL = 32794;
inline constexpr int ID_SAVE_LINK_LIST = 32795;
inline constexpr int ID_QUICK_FILTER = 32796;
// The status bar's download status pane.
inline constexpr int ID_INDICATOR_DOWNLOAD = 59142;
}  // namespace cmd

// Every command with its texts, prompt, tooltip, icon and key.
std::span<const gui::CommandSpec> CrawlerCommands();
