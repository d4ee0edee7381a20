#pragma once

#include <QString>
#include <array>

#include "app/portconnection.h"

namespace kestrel::test {

// The status bar and Comm menu as the window starts (design texts, caption "Open"),
// recording what is written. panels[0] is panel 1.
class FakePortDisplay : public PortDisplay {
 public:
  void setPanelText(int panel, const QString& text) override {
    panels.at(static_cast<size_t>(panel - 1)) = text;
    ++panelWrites.at(static_cast<size_t>(panel - 1));
  }
  QString panelText(int panel) const override { return panels.at(static_cast<size_t>(panel - 1)); }
  QString connectCaption() const override { return caption; }
  void setConnectCaption(const QString& text) override { caption = text; }
  void setPortMenusEnabled(bool enabled) override { portMenusEnabled = enabled; }

  std::array<QString, 5> panels{QStringLiteral("Not connected"), QStringLiteral("COM 1"),
                                QStringLiteral("115200bps, 8-N-1"), QString(), QString()};
  std::array<int, 5> panelWrites{};
  QString caption = QStringLiteral("Open");
  bool portMenusEnabled = true;
};

}  // namespace kestrel::test
