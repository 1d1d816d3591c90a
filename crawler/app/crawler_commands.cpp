#include "crawler/app/crawler_commands.h"

namespace {

using gui::CommandSpec;
using SP = QStyle::StandardPixmap;

const CommandSpec kCommands[] = {
    {cmd::ID_FILE_OPEN_URL, "&Open URL...", "Open a URL\nOpen", "document-open", SP::SP_DialogOpenButton,
     QKeySequence(Qt::CTRL | Qt::Key_O)},
    {cmd::ID_APP_EXIT, "E&xit", "Quit the application\nExit"},
    {cmd::ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle Toolbar", nullptr, SP::SP_CustomBase, {},
     true},
    {cmd::ID_VIEW_STATUS_BAR, "&Status Bar", "Show or hide the status bar\nToggle Status Bar", nullptr,
     SP::SP_CustomBase, {}, true},
    {cmd::ID_GO_BACK, "Go &Back", "Display previously visited URL\nBack", "go-previous", SP::SP_ArrowBack},
    {cmd::ID_GO_FORWARD, "Go &Forward", "Go Forward.\nForward", "go-next", SP::SP_ArrowForward},
    {cmd::ID_REFRESH, "&Refresh", "Reload the current page.\nRefresh", "view-refresh", SP::SP_BrowserReload,
     QKeySequence(Qt::Key_F5)},
    {cmd::ID_DOWNLOAD_FILES, "Download File(s)", "Download the selected file(s).\nDownload File(s)", "go-down",
     SP::SP_ArrowDown},
    {cmd::ID_CANCEL_CURRENT_DOWNLOAD, "Cancel Current Download",
     "Cancel the download of the current file.\nCancel Current Download"},
    {cmd::ID_STOP_DOWNLOADS, "&Stop All Downloads", "Clear the download queue.\nStop Downloads",
     "media-playback-stop", SP::SP_MediaStop},
    {cmd::ID_DOWNLOAD_MANAGER, "Download &Manager", "Launch the Download Manager.\nDownload Manager"},
    {cmd::ID_CLEAR_HISTORY, "Clear History", "Clear the URL history\nClear History"},
    {cmd::ID_OPTIONS, "&Options...", "Modify Fetchwick's configuration.\nOptions", "preferences-system",
     SP::SP_FileDialogDetailedView},
    {cmd::ID_APP_ABOUT, "&About Fetchwick...", "Display program information and version number\nAbout",
     "help-about", SP::SP_MessageBoxInformation},
    {cmd::ID_STOP_CRAWL, "Stop Crawl", "Stop crawling the current page.\nStop Crawl", "process-stop",
     SP::SP_BrowserStop},
    {cmd::ID_OPEN_DOWNLOADS, "Open Downloads", "Open the download folder\nOpen Downloads", "folder-download",
     SP::SP_DirOpenIcon},
    {cmd::ID_GO, "Go", nullptr, "go-jump", SP::SP_ArrowRight},
    {cmd::ID_CRAWL_PAGE, "Crawl Page"},
    {cmd::ID_DEEP_CRAWL, "Deep Crawl", "Recursively crawl the site from this page.\nDeep Crawl"},
    {cmd::ID_LAUNCH_BROWSER, "Launch Browser"},
    {cmd::ID_GET_FILE_SIZE, "Get File Size", "Query the server for the file size.\nGet File Size"},
    {cmd::ID_DEEP_CRAWL_PAGE, "&Deep Crawl This Page",
     "Recursively crawl the site from the address shown.\nDeep Crawl This Page", "system-search",
     SP::SP_FileDialogContentsView},
    {cmd::ID_COPY_ADDRESS, "&Copy Address", "Copy the addresses of the selected links.\nCopy Address", "edit-copy",
     SP::SP_CustomBase, QKeySequence(Qt::CTRL | Qt::Key_C)},
    {cmd::ID_SELECT_ALL, "Select &All", "Select every link in the list.\nSelect All", "edit-select-all",
     SP::SP_CustomBase, QKeySequence(Qt::CTRL | Qt::Key_A)},
    {cmd::ID_QUICK_FILTER, "&Filter Links", "Show only the links whose name or address holds a text.\nFilter Links",
     "edit-find", SP::SP_CustomBase, QKeySequence(Qt::CTRL | Qt::Key_F)},
    {cmd::ID_SAVE_LINK_LIST, "&Save Link List...", "Save the links shown as a CSV or text file.\nSave Link List",
     "document-save-as", SP::SP_DialogSaveButton, QKeySequence(Qt::CTRL | Qt::Key_S)},
};

}  // namespace

std::span<const gui::CommandSpec> CrawlerCommands() { return kCommands; }
