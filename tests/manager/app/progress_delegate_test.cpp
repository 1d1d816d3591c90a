// The Downloaded cell's progress bar and the list's totals.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <QTreeView>
#include <cmath>

#include "contract/status.h"
#include "gui/report_view.h"
#include "manager/app/download_list_model.h"
#include "manager/app/progress_delegate.h"
#include "tests/support/gui_test_support.h"

namespace {

using queuebay::DownloadListModel;
using Totals = DownloadListModel::Totals;

_LinkStructType Record(const std::string& name, std::uint32_t size = 0, std::uint32_t current = 0,
                       std::uint32_t rate = 0) {
  _LinkStructType record{};
  CopyRecordText(record.szFileName, name);
  CopyRecordText(record.szHref, "http://h/" + name);
  record.dwFileSize = size;
  record.dwCurrentSize = current;
  record.dwBytesPerSecond = rate;
  return record;
}

QPalette DarkPalette() {
  QPalette dark(QColor(53, 53, 53));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
  return dark;
}

double Distance(QColor a, QColor b) {
  return std::hypot(a.red() - b.red(), a.green() - b.green(), a.blue() - b.blue());
}

// Where the filled part of the cell ends, in logical pixels from the view's
// left: walks the cell's middle line from the bar's left end while pixels
// lean towards the highlight colour rather than the list's background.
double FilledEnd(QTreeView& view, const QModelIndex& cell) {
  const QPixmap picture = view.viewport()->grab();
  const QImage image = picture.toImage();
  const double ratio = picture.devicePixelRatio();
  const QRect rect = view.visualRect(cell);
  const QColor highlight = view.palette().color(QPalette::Active, QPalette::Highlight);
  const QColor base = view.palette().color(QPalette::Active, QPalette::Base);
  const int y = static_cast<int>((rect.top() + rect.height() / 2.0) * ratio);
  int x = static_cast<int>((rect.left() + 5) * ratio);
  while (x < image.width() && Distance(image.pixelColor(x, y), highlight) < 0.85 * Distance(base, highlight)) ++x;
  return x / ratio;
}

TEST(ProgressBar, FilledPartFollowsTheRecordInLightAndDarkPalettes) {
  DownloadListModel model;
  model.Apply(STATUS_QUEUED, Record("a.iso", 400));
  model.Apply(STATUS_QUEUED, Record("notes.txt"));
  model.Apply(STATUS_QUEUED, Record("b.tar.gz", 1000, 600, 2048));
  model.FlushChanges();
  QTreeView view;
  view.setModel(&model);
  gui::SetUpReportView(&view, "Downloads", DownloadListModel::kColumnWidths);
  view.setItemDelegateForColumn(DownloadListModel::kDownloaded, new queuebay::ProgressDelegate(&view));
  view.header()->resizeSection(DownloadListModel::kDownloaded, 300);
  view.header()->resizeSection(DownloadListModel::kUrl, 160);
  view.resize(820, 130);
  view.selectionModel()->setCurrentIndex(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  // No size, no bar; the tooltip tells the figures on every column.
  EXPECT_FALSE(model.data(model.index(1, DownloadListModel::kDownloaded), DownloadListModel::kProgressRole).isValid());
  EXPECT_EQ(model.data(model.index(0, DownloadListModel::kRetries), Qt::ToolTipRole).toString(),
            "a.iso\n0 % - 0 bytes of 400 bytes\nhttp://h/a.iso");

  // The second run (QT_SCALE_FACTOR=2) must really paint at twice the size.
  const bool scaled = qEnvironmentVariableIsSet("QT_SCALE_FACTOR");
  EXPECT_EQ(view.devicePixelRatioF(), scaled ? 2.0 : 1.0);
  for (const auto& [palette, name] : {std::pair{QApplication::style()->standardPalette(), scaled ? "scale2" : "light"},
                                      std::pair{DarkPalette(), scaled ? "scale2-dark" : "dark"}}) {
    view.setPalette(palette);
    for (const double fraction : {0.25, 0.75}) {
      model.Apply(STATUS_PROGRESS, Record("a.iso", 400, static_cast<std::uint32_t>(400 * fraction), 1000));
      model.FlushChanges();
      const QModelIndex cell = model.index(0, DownloadListModel::kDownloaded);
      const QRect rect = view.visualRect(cell);
      EXPECT_NEAR(FilledEnd(view, cell), rect.left() + fraction * rect.width(), 4)
          << name << " at " << fraction << ", cell " << rect.left() << "+" << rect.width();
    }
    SaveScreenshot(&view, std::string("manager-progress-") + name);
  }
}

TEST(DownloadTotals, CountQueuedStartedAndEndedRows) {
  DownloadListModel model;
  // Read whole: bytes or a rate mean started.
  model.Reload({Record("a", 100), Record("b", 100, 50), Record("c", 0, 0, 300)});
  EXPECT_EQ(model.CurrentTotals(), (Totals{2, 1, 300}));
  model.Apply(STATUS_QUEUED, Record("d"));
  model.Apply(STATUS_STARTING, Record("a", 100));
  EXPECT_EQ(model.CurrentTotals(), (Totals{3, 1, 300}));
  // A rate replaces the row's last one.
  model.Apply(STATUS_PROGRESS, Record("a", 100, 10, 1000));
  model.Apply(STATUS_PROGRESS, Record("a", 100, 20, 500));
  EXPECT_EQ(model.CurrentTotals(), (Totals{3, 1, 800}));
  // Ended rows count nothing at once, before the flush takes them off.
  model.Apply(STATUS_DONE, Record("c"));
  model.Apply(STATUS_DONE, Record("d"));
  model.Apply(STATUS_PROGRESS, Record("unknown", 1, 1, 99));
  EXPECT_EQ(model.CurrentTotals(), (Totals{2, 0, 500}));
  model.FlushChanges();
  EXPECT_EQ(model.CurrentTotals(), (Totals{2, 0, 500}));
  // A second row of an address stays queued while the first one downloads and ends.
  model.Apply(STATUS_QUEUED, Record("a"));
  EXPECT_EQ(model.CurrentTotals(), (Totals{2, 1, 500}));
  model.Apply(STATUS_DONE, Record("a"));
  model.Apply(STATUS_DONE, Record("b"));
  EXPECT_EQ(model.CurrentTotals(), (Totals{0, 1, 0}));
}

}  // namespace
