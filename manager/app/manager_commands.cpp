#include "manager/app/manager_commands.h"

namespace queuebay {

namespace {

using gui::CommandSpec;
using SP = QStyle::StandardPixmap;

const CommandSpec kCommands[] = {
    {cmd::ID_ADD_URL, "Add URL...", "Add URL to download list.\nAdd URL", "list-add", SP::SP_FileIcon},
    {cmd::ID_CONTEXT_ADD_URL, "Add URL", "Add URL to download list.\nAdd URL"},
    {cmd::ID_APP_EXIT, "E&xit", "Quit the application\nExit"},
    {cmd::ID_CANCEL_DOWNLOADS, "Cancel Downloads", "Cancel the selected downloads.\nCancel Downloads", nullptr,
     SP::SP_CustomBase, QKeySequence(Qt::Key_Delete)},
    {cmd::ID_CONTEXT_CANCEL, "Cancel Download(s)", "Cancel the selected downloads.\nCancel Downloads"},
    {cmd::ID_STOP_DOWNLOADS, "Stop All Downloads", "Clear the download queue.\nStop Downloads",
     "media-playback-stop", SP::SP_MediaStop},
    {cmd::ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle Toolbar", nullptr, SP::SP_CustomBase, {},
     true},
    {cmd::ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle Status Bar", nullptr,
     SP::SP_CustomBase, {}, true},
    {cmd::ID_VIEW_REFRESH, "&Refresh", nullptr, "view-refresh", SP::SP_BrowserReload, QKeySequence(Qt::Key_F5)},
    // The document keys of old reload the list as well.
    {cmd::ID_FILE_NEW, "Reload", nullptr, nullptr, SP::SP_CustomBase, QKeySequence(Qt::CTRL | Qt::Key_N)},
    {cmd::ID_FILE_OPEN, "Reload", nullptr, nullptr, SP::SP_CustomBase, QKeySequence(Qt::CTRL | Qt::Key_O)},
    {cmd::ID_OPEN_DOWNLOADS, "Open Downloads", "Open the download folder\nOpen Downloads", "folder-download",
     SP::SP_DirOpenIcon},
    {cmd::ID_OPTIONS, "&Options...", "Modify download configuration.\nOptions", "preferences-system",
     SP::SP_FileDialogDetailedView},
    {cmd::ID_PASTE_ADDRESSES, "&Paste Addresses", "Add every address on the clipboard, one per line.\nPaste Addresses",
     "edit-paste", SP::SP_CustomBase, QKeySequence(Qt::CTRL | Qt::Key_V)},
    {cmd::ID_HISTORY_OPEN, "&Open", "Open the file.\nOpen", "document-open", SP::SP_CustomBase,
     QKeySequence(Qt::Key_Return)},
    {cmd::ID_HISTORY_OPEN_FOLDER, "Open Containing &Folder", "Open the folder that holds the file.\nOpen Folder",
     "folder-open"},
    {cmd::ID_HISTORY_DOWNLOAD_AGAIN, "Download &Again", "Add the address to the download list again.\nDownload Again",
     "view-refresh"},
    {cmd::ID_HISTORY_REMOVE, "&Remove from History", "Remove the selected entries from the history.\nRemove",
     "edit-delete", SP::SP_CustomBase, QKeySequence(Qt::Key_Delete)},
    {cmd::ID_HISTORY_CLEAR, "&Clear History", "Remove every entry from the history.\nClear History", "edit-clear"},
    {cmd::ID_APP_ABOUT, "&About Queuebay...", "Display program information and version number\nAbout",
     "help-about", SP::SP_MessageBoxInformation},
};

}  // namespace

std::span<const gui::CommandSpec> ManagerCommands() { return kCommands; }

}  // namespace queuebay
