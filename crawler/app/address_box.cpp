#include "crawler/app/address_box.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

CAddressBox::CAddressBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setMinimumWidth(200);
  setMaxVisibleItems(12);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  // Addresses are taken as typed, letter case included.
  setDuplicatesEnabled(false);
  setCompleter(nullptr);
  // Keys reach the edit field or the box itself, depending on which has the focus.
  lineEdit()->installEventFilter(this);
  installEventFilter(this);
  setAccessibleName(QStringLiteral("Address"));
  connect(this, &QComboBox::activated, this, [this](int index) {
    m_selected = index;
    if (onEntryPicked) onEntryPicked(index);
  });
}

std::string CAddressBox::Text() const { return currentText().toStdString(); }

std::string CAddressBox::SelectedEntryText() const {
  return m_selected >= 0 && m_selected < count() ? itemText(m_selected).toStdString() : std::string();
}

void CAddressBox::SetText(const std::string& text) {
  const QString value = QString::fromStdString(text);
  m_selected = findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (m_selected >= 0) setCurrentIndex(m_selected);
  setEditText(value);
}

void CAddressBox::AppendEntry(const std::string& text) {
  // An entry added to an empty box would become the current one and fill
  // the field; the field keeps what it shows, and nothing is selected.
  const bool first = count() == 0;
  const QString shown = currentText();
  addItem(QString::fromStdString(text));
  if (first && m_selected < 0) {
    setCurrentIndex(-1);
    setEditText(shown);
  }
}

void CAddressBox::DeleteEntries() {
  const QString typed = currentText();
  for (int index = count() - 1; index >= 0; --index) removeItem(index);
  m_selected = -1;
  setEditText(typed);
}

void CAddressBox::Step(int by) {
  if (count() == 0) return;
  const int next = m_selected < 0 ? (by > 0 ? 0 : count() - 1) : std::clamp(m_selected + by, 0, count() - 1);
  m_selected = next;
  setCurrentIndex(next);
}

bool CAddressBox::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == lineEdit() || watched == this) && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) return QComboBox::eventFilter(watched, event);
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (onGo) onGo();
        return true;
      case Qt::Key_Up:
        Step(-1);
        return true;
      case Qt::Key_Down:
        Step(1);
        return true;
      default:
        break;
    }
  }
  return QComboBox::eventFilter(watched, event);
}
