#include "gui/window_layout.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QWidget>
#include <algorithm>
#include <memory>

#include "settings/settings.h"
#include "settings/settings_key.h"

namespace gui {

namespace {

std::unique_ptr<SettingsKey> ForWriting() { return SettingsKey::OpenOrCreateForWriting(SettingsStore::Fetchwick); }

}  // namespace

void RestoreWindowPlacement(QWidget* window, const char* name) {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  const std::optional<WindowPlacement> placement = ReadWindowPlacement(key.get(), name);
  if (!placement) return;
  const QRect rect(placement->x, placement->y, placement->width, placement->height);
  if (QGuiApplication::screenAt(rect.center()))
    window->setGeometry(rect);
  else
    window->resize(rect.size());
  if (placement->maximized) window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void SaveWindowPlacement(const QWidget* window, const char* name) {
  const QRect rect = window->isMaximized() || window->isFullScreen() ? window->normalGeometry() : window->geometry();
  if (!rect.isValid()) return;
  if (const auto key = ForWriting())
    WriteWindowPlacement(*key, name, WindowPlacement{rect.x(), rect.y(), rect.width(), rect.height(), window->isMaximized()});
}

void RestoreColumns(QHeaderView* header, const char* widthsName, const char* orderName, int keepWidth) {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  const auto count = static_cast<std::size_t>(header->count());
  const std::vector<int> widths = ReadSizes(key.get(), widthsName, count);
  for (std::size_t column = 0; column < widths.size(); ++column)
    if (static_cast<int>(column) != keepWidth) header->resizeSection(static_cast<int>(column), widths[column]);
  if (!orderName) return;
  const std::vector<int> order = ReadColumnOrder(key.get(), orderName, count);
  for (std::size_t shown = 0; shown < order.size(); ++shown)
    header->moveSection(header->visualIndex(order[shown]), static_cast<int>(shown));
}

void SaveColumns(const QHeaderView* header, const char* widthsName, const char* orderName) {
  std::vector<int> widths;
  std::vector<int> order;
  for (int column = 0; column < header->count(); ++column) {
    widths.push_back(header->sectionSize(column));
    order.push_back(header->logicalIndex(column));
  }
  const auto key = ForWriting();
  if (!key) return;
  WriteNumberList(*key, widthsName, widths);
  if (orderName) WriteNumberList(*key, orderName, order);
}

void RestorePaneSizes(QSplitter* splitter, const char* name) {
  const auto key = SettingsKey::OpenForReading(SettingsStore::Fetchwick);
  const std::vector<int> sizes = ReadSizes(key.get(), name, static_cast<std::size_t>(splitter->count()));
  if (!sizes.empty()) splitter->setSizes(QList<int>(sizes.begin(), sizes.end()));
}

void SavePaneSizes(const QSplitter* splitter, const char* name) {
  const QList<int> sizes = splitter->sizes();
  // A pane the user closed to nothing stays as it was last seen.
  if (std::any_of(sizes.begin(), sizes.end(), [](int size) { return size < 8; })) return;
  if (const auto key = ForWriting()) WriteNumberList(*key, name, std::vector<int>(sizes.begin(), sizes.end()));
}

}  // namespace gui
