#include "gui/status_panes.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <algorithm>

#include "gui/lock_keys.h"
#include "gui/paced_call.h"

namespace gui {

namespace {

constexpr int kStatusIntervalMs = 100;

// The width a sunken pane needs to show `text` whole.
int PaneWidth(const QLabel* pane, const QString& text) {
  const int margins = pane->contentsMargins().left() + pane->contentsMargins().right() + 2 * pane->frameWidth() + 6;
  return pane->fontMetrics().horizontalAdvance(text) + margins;
}

QLabel* MakePane(QStatusBar* bar, const QString& sizingText, const QString& accessibleName, int at = -1) {
  auto* pane = new QLabel(bar);
  pane->setFrameShape(QFrame::Panel);
  pane->setFrameShadow(QFrame::Sunken);
  pane->setAccessibleName(accessibleName);
  pane->setFixedWidth(PaneWidth(pane, sizingText));
  if (at < 0)
    bar->addPermanentWidget(pane);
  else
    bar->insertPermanentWidget(at, pane);
  return pane;
}

// Shows what of `text` fits into `width` pixels of `pane`; the whole text
// is then its tooltip and what a screen reader reads out.
void ShowFitting(QLabel* pane, const QString& text, int width) {
  const int room = width - (pane->width() - pane->contentsRect().width()) - 4;
  const QString shown = pane->fontMetrics().elidedText(text, Qt::ElideRight, std::max(room, 0));
  if (pane->text() != shown) pane->setText(shown);
  const QString whole = shown == text ? QString() : text;
  if (pane->toolTip() != whole) {
    pane->setToolTip(whole);
    pane->setAccessibleDescription(whole);
  }
}

}  // namespace

StatusPanes::StatusPanes(QStatusBar* bar, const QString& sizingText) : QObject(bar) {
  m_message = new QLabel(QString::fromLatin1(kIdleMessage), bar);
  m_message->setAccessibleName(QStringLiteral("Message"));
  m_message->setMinimumWidth(1);
  m_messageText = m_message->text();
  bar->addWidget(m_message, 1);
  m_statusPane = MakePane(bar, sizingText, QStringLiteral("Download status"));
  m_firstPane = m_statusPane;
  m_statusFullWidth = m_statusPane->width();
  m_statusLeastWidth = m_statusFullWidth / 4;
  m_showStatus = new PacedCall(kStatusIntervalMs, [this] { Fit(); }, this);
  SetStatus(sizingText);
  m_caps = MakePane(bar, QStringLiteral("CAP"), QStringLiteral("Caps Lock"));
  m_num = MakePane(bar, QStringLiteral("NUM"), QStringLiteral("Num Lock"));
  m_scroll = MakePane(bar, QStringLiteral("SCRL"), QStringLiteral("Scroll Lock"));
  // A prompt shown while a command is pointed at is painted by the bar
  // itself over the message pane, and needs the same room; it gives way to
  // the idle text.
  connect(bar, &QStatusBar::messageChanged, this, [this](const QString& text) {
    m_prompt = text;
    if (text.isEmpty()) m_messageText = QString::fromLatin1(kIdleMessage);
    Fit();
  });
  qApp->installEventFilter(this);
  RefreshLockKeys();
}

void StatusPanes::SetMessage(const QString& text) {
  if (m_messageText == text) return;
  m_messageText = text;
  Fit();
}

void StatusPanes::SetStatus(const QString& text) {
  if (text == m_status) return;
  m_status = text;
  m_showStatus->Request();
}

QString StatusPanes::ShownMessage() const { return m_message->text(); }

int StatusPanes::StatusPaneWidth() const { return m_statusPane->width(); }

QLabel* StatusPanes::AddPane(const QString& sizingText, const QString& accessibleName) {
  auto* bar = static_cast<QStatusBar*>(parent());
  // Permanent widgets are counted after the message pane.
  m_firstPane = MakePane(bar, sizingText, accessibleName, 1);
  return m_firstPane;
}

void StatusPanes::Fit() {
  // The status pane keeps what its own text needs, and at least a quarter
  // of its full width; the message pane, which takes whatever the bar has
  // left, gets the rest of it when its text needs more. A prompt has the
  // room up to the status pane, less the bar's margin of 8 pixels.
  const bool prompting = !m_prompt.isEmpty();
  const int messageNeeds = PaneWidth(m_message, prompting ? m_prompt : m_messageText);
  const QLabel* first = m_firstPane->isHidden() ? m_statusPane : m_firstPane;
  const int messageHas = prompting ? first->x() - 8 : m_message->width();
  const int statusNeeds = std::clamp(PaneWidth(m_statusPane, m_status), m_statusLeastWidth, m_statusFullWidth);
  const int oldWidth = m_statusPane->width();
  const int shared = oldWidth + messageHas;
  const int width = std::clamp(shared - messageNeeds, statusNeeds, m_statusFullWidth);
  if (width != oldWidth) m_statusPane->setFixedWidth(width);
  ShowFitting(m_statusPane, m_status, width);
  // The message pane is laid out anew once the bar has taken the change,
  // and comes back here as it is resized.
  if (!prompting) ShowFitting(m_message, m_messageText, shared - width);
}

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

bool StatusPanes::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_message && event->type() == QEvent::Resize) {
    Fit();
  } else if (event->type() == QEvent::ApplicationActivate) {
    RefreshLockKeys();
  } else if (event->type() == QEvent::KeyRelease) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock) RefreshLockKeys();
  }
  return false;
}

}  // namespace gui
