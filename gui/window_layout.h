#pragma once

#include <vector>

class QHeaderView;
class QSplitter;
class QWidget;

// A window's layout as the user left it, kept in the settings store under
// names the caller gives: the window's place and size, a list's column
// widths and order, a splitter's pane sizes. Damaged values are ignored.
namespace gui {

// A place on a screen that is no longer there keeps only its size.
void RestoreWindowPlacement(QWidget* window, const char* name);
void SaveWindowPlacement(const QWidget* window, const char* name);

// `keepWidth`: a column whose width the list sets itself (-1: none).
void RestoreColumns(QHeaderView* header, const char* widthsName, const char* orderName, int keepWidth = -1);
void SaveColumns(const QHeaderView* header, const char* widthsName, const char* orderName);

void RestorePaneSizes(QSplitter* splitter, const char* name);
void SavePaneSizes(const QSplitter* splitter, const char* name);

}  // namespace gui
