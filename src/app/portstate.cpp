#include "app/portstate.h"

#include "texts/usertexts.h"

namespace kestrel {

QString PortNumberText(int port) {
  return port < 0 ? QString::number(port) : QLatin1Char(' ') + QString::number(port);
}

PortStatusTexts StatusTextsOf(const PortState& state) {
  PortStatusTexts shown;
  if (!state.shown()) {
    // The window's design texts, until start-up has run.
    shown.state = texts::NotConnectedPanel();
    shown.port = QStringLiteral("COM 1");
    shown.lineSettings = QStringLiteral("115200bps, 8-N-1");
    shown.connectCaption = texts::ConnectCaption(false);
    return shown;
  }
  shown.state = texts::PortStatePanel(state.isOpen());
  shown.port = state.tcpIpMode() ? QStringLiteral("TCP/IP")
                                 : QStringLiteral("COM ") + PortNumberText(state.comNumber());
  if (state.lineSettingsShown()) shown.lineSettings = FormatLineSettings(state.lineSettings());
  shown.connectCaption = texts::ConnectCaption(state.isOpen());
  shown.portMenusEnabled = state.mayChangePort();
  return shown;
}

}  // namespace kestrel
