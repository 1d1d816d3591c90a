// The window pieces both programs share: the busy animation, the idle
// refresh, the message boxes of worker threads and the file-type icons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <set>
#include <thread>

#include "gui/busy_animation.h"
#include "gui/file_type_icons.h"
#include "gui/idle_updater.h"
#include "gui/message_boxes.h"
#include "tests/support/gui_test_support.h"

namespace {

using namespace std::chrono_literals;
using gui::BusyAnimation;

TEST(BusyAnimation, PlaysItsFiftyFramesAndStopsWhereTold) {
  BusyAnimation animation;
  EXPECT_EQ(animation.size(), QSize(41, 30));
  // Fifty frames of their own; the first is the one at rest.
  std::set<QRgb> fingerprints;
  for (int frame = 0; frame < BusyAnimation::kFrames; ++frame) {
    const QImage image = animation.frameImage(frame);
    ASSERT_EQ(image.size(), QSize(41, 30));
    QRgb sum = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) sum = sum * 31 + image.pixel(x, y);
    fingerprints.insert(sum);
  }
  EXPECT_EQ(fingerprints.size(), std::size_t{BusyAnimation::kFrames});

  // For ever from the first frame to the last, then round again.
  animation.play(0, BusyAnimation::kLastFrame, BusyAnimation::kForever);
  EXPECT_TRUE(animation.isPlaying());
  int highest = 0;
  ASSERT_TRUE(WaitUntil([&] {
    highest = std::max(highest, animation.currentFrame());
    return highest > 5 && animation.currentFrame() < highest;
  }, 20s));
  // Stop freezes the frame; playing frame 0 to 0 shows the first and stays.
  animation.stop();
  const int frozen = animation.currentFrame();
  QTest::qWait(200);
  EXPECT_EQ(animation.currentFrame(), frozen);
  animation.play(0, 0, 0);
  EXPECT_FALSE(animation.isPlaying());
  EXPECT_EQ(animation.currentFrame(), 0);
  // A counted play ends on its last frame.
  animation.play(3, 6, 2);
  ASSERT_TRUE(WaitUntil([&] { return !animation.isPlaying(); }, 20s));
  EXPECT_EQ(animation.currentFrame(), 6);
}

TEST(IdleUpdater, AWakeFromAnotherThreadRefreshesAndDeadContextsDropOut) {
  gui::IdleUpdater updater;
  std::atomic<int> runs{0};
  auto context = std::make_unique<QObject>();
  int contextRuns = 0;
  updater.Add(context.get(), [&] { ++contextRuns; });
  updater.Add(&updater, [&] { ++runs; });
  QApplication::processEvents();
  const int before = runs;
  std::thread([&] { updater.Wake(); }).join();
  ASSERT_TRUE(WaitUntil([&] { return runs > before; }));
  context.reset();
  const int lastContextRuns = contextRuns;
  updater.Refresh();
  EXPECT_EQ(contextRuns, lastContextRuns);
}

TEST(MessageBoxHop, AWorkerWaitsForTheBoxAndEndLetsEveryWorkerGo) {
  gui::MessageBoxHop hop(QStringLiteral("Fetchwick"), QMessageBox::Warning);
  std::atomic<bool> firstBack{false};
  std::thread first([&] {
    hop.Show("first text");
    firstBack = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return hop.OpenBoxes().size() == 1; }));
  QMessageBox* box = hop.OpenBoxes().front();
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Fetchwick"));
  EXPECT_EQ(box->text(), QStringLiteral("first text"));
  EXPECT_FALSE(firstBack);
  box->done(QMessageBox::Ok);
  ASSERT_TRUE(WaitUntil([&] { return firstBack.load(); }));
  first.join();

  // Ending closes open boxes and frees the workers waiting on them; a later
  // box returns at once.
  std::thread second([&] { hop.Show("second"); });
  ASSERT_TRUE(WaitUntil([&] { return hop.OpenBoxes().size() == 1; }));
  hop.End();
  second.join();
  EXPECT_TRUE(WaitUntil([] { return OpenMessageBoxes().empty(); }));
  std::thread([&] { hop.Show("after the end"); }).join();
  QApplication::processEvents();
  EXPECT_TRUE(OpenMessageBoxes().empty());

  // On the interface thread the box runs a loop of its own until closed.
  gui::MessageBoxHop own(QStringLiteral("Fetchwick"), QMessageBox::Warning);
  std::vector<std::string> shown;
  QTimer::singleShot(0, [&] {
    shown = OpenMessageTexts();
    CloseMessageBoxes();
  });
  own.Show("own text");
  EXPECT_EQ(shown, std::vector<std::string>{"own text"});
  QApplication::processEvents();
  EXPECT_TRUE(OpenMessageBoxes().empty());
}

TEST(FileTypeIcons, EachExtensionIsLookedUpOnceAndUnknownTypesGetTheFirstImage) {
  gui::FileTypeIcons icons;
  ASSERT_EQ(icons.ImageCount(), 3u);
  const int zip = icons.IconIndexFor(".zip");
  EXPECT_GE(zip, 3);
  EXPECT_EQ(icons.IconIndexFor(".zip"), zip);
  // Letter case makes another key, looked up and cached apart.
  const int upper = icons.IconIndexFor(".ZIP");
  EXPECT_NE(upper, zip);
  EXPECT_EQ(icons.ImageCount(), 5u);
  // No icon: image 0, nothing cached, asked again next time.
  EXPECT_EQ(icons.IconIndexFor(".no-such-type"), 0);
  EXPECT_EQ(icons.IconIndexFor(""), 0);
  EXPECT_EQ(icons.ImageCount(), 5u);
}

}  // namespace
