#pragma once

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

// Window tests run in one QApplication on the offscreen platform, with the
// desktop's icon theme; this is their main().
int RunWindowTests(int argc, char** argv);

// Lets the interface thread handle events until `done` holds; false when it
// does not within `limit`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(15));

// Triggers `action` once the idle refresh has enabled it; the test fails
// when it stays disabled.
void TriggerWhenEnabled(QAction* action);

// Closes a window program's main window as the user does, then lets the
// program end.
template <class Program>
void CloseProgram(std::unique_ptr<Program>& program) {
  if (!program) return;
  if (program->MainFrame()) program->MainFrame()->close();
  program.reset();
}

// Presses a key in `widget`'s window as the user does, once that window is
// the active one, so that its shortcuts apply.
void PressKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Writes a picture of `widget` as NAME.png into the screenshot folder
// ($FETCHWICK_SCREENSHOTS, or "screenshots" in the build folder), names it
// on standard output and gives its path.
std::string SaveScreenshot(QWidget* widget, const std::string& name);

// The same, with `popup` (a menu or a message box) over `window` where it
// stands; the picture grows where the popup reaches beyond the window.
std::string SaveScreenshotWithPopup(QWidget* window, QWidget* popup, const std::string& name);

// Opens the context menu of `view` over `row` as a right click does, writes a
// picture of `window` with the menu over it, closes the menu, and gives the
// menu's item texts ("-" for a separator); none when no menu opened.
std::vector<std::string> PictureContextMenu(QAbstractItemView* view, const QModelIndex& row, QWidget* window,
                                            const std::string& name);

// Triggers `command`, whose modal dialog `Dialog` is handed to `use` once it
// is open; a dialog still open afterwards is cancelled. False when no such
// dialog opened.
template <class Dialog, class Use>
bool WithModalDialog(QAction* command, Use&& use) {
  bool reached = false;
  QObject context;  // the timer goes with this call if no dialog runs it
  QTimer::singleShot(0, &context, [&] {
    auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
    reached = dialog != nullptr;
    if (!dialog) return;
    use(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  command->trigger();
  return reached;
}

// Whether `widget` holds a label with this text.
bool HasLabel(const QWidget& widget, const QString& text);

// Types folders that cannot take downloads (one under /proc, a file in
// `scratch`) into a settings dialog's `folderField` and presses OK: each
// time a box must say why, naming the folder, while the dialog stays open
// with the focus on the field. The first box is pictured over the dialog
// as `screenshot`.
void ExpectFolderRefusals(QDialog& dialog, QLineEdit* folderField, const TempDir& scratch,
                          const std::string& screenshot);

// The message boxes open now.
std::vector<QMessageBox*> OpenMessageBoxes();
std::vector<std::string> OpenMessageTexts();
void CloseMessageBoxes();

// Stand-ins for the desktop's programs, first on PATH while the object
// lives: each records the arguments of every start and ends at once.
class DesktopStandIns {
 public:
  explicit DesktopStandIns(const std::vector<std::string>& programs);
  // The argument lists `program` was started with, in order.
  std::vector<std::vector<std::string>> Starts(const std::string& program) const;
  // Waits until `program` has been started `count` times.
  bool WaitForStarts(const std::string& program, std::size_t count,
                     std::chrono::milliseconds limit = std::chrono::seconds(15)) const;

 private:
  static std::string PathFirst(const std::string& folder);

  TempDir m_folder;
  ScopedEnv m_path{"PATH", PathFirst(m_folder.path())};
};
