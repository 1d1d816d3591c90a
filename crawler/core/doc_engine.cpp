// CFetchwickDoc: its link to the engine. The link is made with the
// document; when the engine goes away (killed, crashed, or it dropped the
// callback object) the document says so, and the next command that needs
// the engine connects again.

#include "crawler/core/callback_itf.h"
#include "crawler/core/fetchwick_doc.h"

ps::EngineLinkOptions CFetchwickDoc::LinkOptions(DocOptions& options) {
  // Without a main window nobody shows the text, so nobody is woken.
  const auto wake = [this] {
    if (m_host.HasMainWindow()) m_host.WakeIdleRefresh();
  };
  return {
      .connect = options.engine == EngineUse::Create,
      .activation = std::move(options.activation),
      .makeSink = [this] { return std::make_unique<CallbackItf>(this); },
      .onLost = wake,
      .onBack = wake,
  };
}

CallbackItf* CFetchwickDoc::Sink() const { return static_cast<CallbackItf*>(m_link.Sink()); }
