#include "app/portstate.h"

#include "app/usertexts.h"

namespace kestrel {

QString PortNumberText(int port) {
  return port < 0 ? QString::number(port) : QLatin1Char(' ') + QString::number(port);
}

PortStatusTexts StatusTextsOf(const PortState& state) {
  PortStatusTexts texts;
  if (!state.shown()) {
    texts.state = QString::fromLatin1(kNotConnectedPanel);
    texts.port = QString::fromLatin1(kDesignPortPanel);
    texts.lineSettings = QString::fromLatin1(kDesignLineSettingsPanel);
    texts.connectCaption = QString::fromLatin1(kConnectCaptionOpen);
    return texts;
  }
  texts.state = QString::fromLatin1(state.isOpen() ? kPortOpenedPanel : kPortClosedPanel);
  texts.port = state.tcpIpMode()
                   ? QString::fromLatin1(kTcpIpPanel)
                   : QString::fromLatin1(kPortPanelPrefix) + PortNumberText(state.comNumber());
  if (state.lineSettingsShown()) texts.lineSettings = FormatLineSettings(state.lineSettings());
  texts.connectCaption =
      QString::fromLatin1(state.isOpen() ? kConnectCaptionClose : kConnectCaptionOpen);
  texts.portMenusEnabled = state.mayChangePort();
  return texts;
}

}  // namespace kestrel
