#include "gui/status_panes.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>

#include "gui/lock_keys.h"

namespace gui {

namespace {

QLabel* MakePane(QStatusBar* bar, const QString& sizingText, const QString& accessibleName) {
  auto* pane = new QLabel(bar);
  pane->setFrameShape(QFrame::Panel);
  pane->setFrameShadow(QFrame::Sunken);
  pane->setAccessibleName(accessibleName);
  const int margins = pane->contentsMargins().left() + pane->contentsMargins().right() + 2 * pane->frameWidth() + 6;
  pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(sizingText) + margins);
  bar->addPermanentWidget(pane);
  return pane;
}

}  // namespace

StatusPanes::StatusPanes(QStatusBar* bar, const QString& sizingText) : QObject(bar) {
  m_message = new QLabel(QString::fromLatin1(kIdleMessage), bar);
  m_message->setAccessibleName(QStringLiteral("Message"));
  m_message->setMinimumWidth(1);
  bar->addWidget(m_message, 1);
  m_statusPane = MakePane(bar, sizingText, QStringLiteral("Download status"));
  SetStatus(sizingText);
  m_caps = MakePane(bar, QStringLiteral("CAP"), QStringLiteral("Caps Lock"));
  m_num = MakePane(bar, QStringLiteral("NUM"), QStringLiteral("Num Lock"));
  m_scroll = MakePane(bar, QStringLiteral("SCRL"), QStringLiteral("Scroll Lock"));
  // A prompt shown while a command is pointed at gives way to the idle text.
  connect(bar, &QStatusBar::messageChanged, this, [this](const QString& text) {
    if (text.isEmpty()) SetMessage(QString::fromLatin1(kIdleMessage));
  });
  qApp->installEventFilter(this);
  RefreshLockKeys();
}

void StatusPanes::SetMessage(const QString& text) {
  if (m_message->text() != text) m_message->setText(text);
}

QString StatusPanes::Message() const { return m_message->text(); }

void StatusPanes::SetStatus(const QString& text) {
  if (text == m_status) return;
  m_status = text;
  const int room = m_statusPane->contentsRect().width() - 4;
  m_statusPane->setText(m_statusPane->fontMetrics().elidedText(text, Qt::ElideRight, room));
  m_statusPane->setToolTip(text);
  m_statusPane->setAccessibleDescription(text);
}

int StatusPanes::StatusPaneWidth() const { return m_statusPane->width(); }

void StatusPanes::RefreshLockKeys() {
  const std::optional<LockKeys> keys = QueryLockKeys();
  const auto show = [](QLabel* pane, bool on, const char* text) {
    const QString wanted = on ? QString::fromLatin1(text) : QString();
    if (pane->text() != wanted) pane->setText(wanted);
  };
  show(m_caps, keys && keys->capsLock, "CAP");
  show(m_num, keys && keys->numLock, "NUM");
  show(m_scroll, keys && keys->scrollLock, "SCRL");
}

QString StatusPanes::LockKeyTexts() const {
  return m_caps->text() + QLatin1Char('|') + m_num->text() + QLatin1Char('|') + m_scroll->text();
}

bool StatusPanes::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::ApplicationActivate) {
    RefreshLockKeys();
  } else if (event->type() == QEvent::KeyRelease) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock) RefreshLockKeys();
  }
  return false;
}

}  // namespace gui
