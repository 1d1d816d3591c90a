#include "gui/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace gui {

AboutDialog::AboutDialog(QWidget* parent, const QString& caption, const QIcon& icon, const QStringList& lines)
    : QDialog(parent) {
  setWindowTitle(caption);
  auto* layout = new QGridLayout(this);
  auto* picture = new QLabel(this);
  picture->setPixmap(icon.pixmap(48, 48));
  picture->setAlignment(Qt::AlignTop);
  layout->addWidget(picture, 0, 0);
  auto* text = new QVBoxLayout;
  for (const QString& line : lines) {
    auto* label = new QLabel(line, this);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->addWidget(label);
  }
  layout->addLayout(text, 0, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons, 1, 0, 1, 2);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace gui
