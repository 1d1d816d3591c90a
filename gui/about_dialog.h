#pragma once

#include <QDialog>
#include <QIcon>
#include <QStringList>

namespace gui {

// The About box: the program's icon beside a few lines of text, and OK.
class AboutDialog final : public QDialog {
 public:
  AboutDialog(QWidget* parent, const QString& caption, const QIcon& icon, const QStringList& lines);
};

}  // namespace gui
