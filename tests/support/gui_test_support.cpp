#include "tests/support/gui_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QPainter>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "gui/app_icons.h"
#include "gui/application.h"

int RunWindowTests(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // No desktop notice of a test reaches the desktop of whoever runs them:
  // the session bus is one that is not there. Notice tests bring a bus of
  // their own.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/fetchwick-tests-have-no-session-bus", 1);
  ::testing::InitGoogleTest(&argc, argv);
  gui::Application application(argc, argv);
  gui::InstallIconTheme();
  // A test's windows stay until the test lets them go, however many close.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  if (done()) return true;
  // A real loop that waits between events, as the program's does, so that
  // the idle refresh runs whenever it goes idle.
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  poll.start(5);
  QTimer::singleShot(limit, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

void TriggerWhenEnabled(QAction* action) {
  ASSERT_TRUE(WaitUntil([&] { return action->isEnabled(); })) << action->text().toStdString() << " stays disabled";
  action->trigger();
}

void PressKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  widget->window()->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(widget->window()));
  QTest::keyClick(widget, key, modifiers);
}

namespace {

std::string SavePicture(const QPixmap& picture, const std::string& name) {
  const char* configured = std::getenv("FETCHWICK_SCREENSHOTS");
  const std::string folder = configured && *configured ? configured : SCREENSHOT_FOLDER;
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/" + name + ".png";
  picture.save(QString::fromStdString(path));
  std::cout << "screenshot: " << path << std::endl;
  return path;
}

// Lets the loop go idle once, so that the picture shows what the idle
// refresh shows.
void LetTheLoopIdle() {
  QEventLoop loop;
  QTimer::singleShot(20, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

std::string SaveScreenshotWithPopup(QWidget* window, QWidget* popup, const std::string& name) {
  // Large enough for both, where the popup reaches beyond the window.
  const QRect popupRect(window->mapFromGlobal(popup->pos()), popup->size());
  const QRect whole = window->rect().united(popupRect);
  QPixmap picture(whole.size());
  picture.fill(window->palette().color(QPalette::Dark));
  QPainter painter(&picture);
  painter.drawPixmap(-whole.topLeft(), window->grab());
  painter.drawPixmap(popupRect.topLeft() - whole.topLeft(), popup->grab());
  painter.end();
  return SavePicture(picture, name);
}

std::string SaveScreenshot(QWidget* widget, const std::string& name) {
  LetTheLoopIdle();
  return SavePicture(widget->grab(), name);
}

std::vector<std::string> PictureContextMenu(QAbstractItemView* view, const QModelIndex& row, QWidget* window,
                                            const std::string& name) {
  std::vector<std::string> items;
  bool shown = false;
  QObject context;  // the timer goes with this call if no menu runs it
  QTimer::singleShot(0, &context, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    shown = true;
    for (QAction* action : menu->actions()) items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    SaveScreenshotWithPopup(window, menu, name);
    menu->close();
  });
  const QPoint at = view->viewport()->mapToGlobal(view->visualRect(row).center());
  QContextMenuEvent event(QContextMenuEvent::Mouse, view->viewport()->mapFromGlobal(at), at);
  QApplication::sendEvent(view->viewport(), &event);
  EXPECT_TRUE(shown) << "no context menu opened";
  return items;
}

bool HasLabel(const QWidget& widget, const QString& text) {
  const QList<QLabel*> labels = widget.findChildren<QLabel*>();
  return std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) { return label->text() == text; });
}

void ExpectFolderRefusals(QDialog& dialog, QLineEdit* folderField, const TempDir& scratch,
                          const std::string& screenshot) {
  const std::string file = scratch.file("a-file");
  WriteFile(file, "x");
  const std::pair<std::string, std::string> refusals[] = {
      {"/proc/nope/dl",
       "The download folder /proc/nope/dl cannot be created (No such file or directory).\n\n"
       "Please choose a folder that you can write to."},
      {file, "The download folder " + file + " is a file, not a folder.\n\nPlease choose a folder instead."},
  };
  for (const auto& [folder, refusal] : refusals) {
    folderField->setText(QString::fromStdString(folder));
    QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    const std::vector<QMessageBox*> boxes = OpenMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << folder;
    EXPECT_EQ(boxes.front()->text().toStdString(), refusal);
    if (&folder == &refusals[0].first) SaveScreenshotWithPopup(&dialog, boxes.front(), screenshot);
    CloseMessageBoxes();
    EXPECT_TRUE(dialog.isVisible()) << folder;
    EXPECT_EQ(dialog.focusWidget(), folderField) << folder;
  }
}

std::vector<QMessageBox*> OpenMessageBoxes() {
  std::vector<QMessageBox*> boxes;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) boxes.push_back(box);
  return boxes;
}

std::vector<std::string> OpenMessageTexts() {
  std::vector<std::string> texts;
  for (QMessageBox* box : OpenMessageBoxes()) texts.push_back(box->text().toStdString());
  return texts;
}

void CloseMessageBoxes() {
  for (QMessageBox* box : OpenMessageBoxes()) box->done(QMessageBox::Ok);
  QApplication::processEvents();
}

DesktopStandIns::DesktopStandIns(const std::vector<std::string>& programs) {
  for (const std::string& program : programs) {
    const std::string path = m_folder.file(program);
    // One record per start, written at once: the argument count, then each
    // argument on a line of its own.
    WriteFile(path, "#!/bin/sh\nr=\"$#\"\nfor a in \"$@\"; do r=\"$r\n$a\"; done\nprintf '%s\\n' \"$r\" >> '" +
                        m_folder.file(program + ".log") + "'\n");
    ::chmod(path.c_str(), 0755);
  }
}

std::string DesktopStandIns::PathFirst(const std::string& folder) {
  const char* previous = std::getenv("PATH");
  return folder + ":" + (previous ? previous : "");
}

std::vector<std::vector<std::string>> DesktopStandIns::Starts(const std::string& program) const {
  std::istringstream log(ReadFile(m_folder.file(program + ".log")));
  std::vector<std::vector<std::string>> starts;
  std::string line;
  while (std::getline(log, line)) {
    const int count = std::atoi(line.c_str());
    std::vector<std::string> arguments;
    for (int i = 0; i < count && std::getline(log, line); ++i) arguments.push_back(line);
    starts.push_back(std::move(arguments));
  }
  return starts;
}

bool DesktopStandIns::WaitForStarts(const std::string& program, std::size_t count,
                                    std::chrono::milliseconds limit) const {
  return WaitUntil([&] { return Starts(program).size() >= count; }, limit);
}
