#pragma once

#include <QString>
#include <map>

#include "port/portconnection.h"

namespace kestrel::test {

// The status bar and Comm menu as the window starts: design texts, caption "Open".
class FakePortDisplay : public PortDisplay {
 public:
  std::map<int, QString> panels{{1, QStringLiteral("Not connected")},
                                {2, QStringLiteral("COM 1")},
                                {3, QStringLiteral("115200bps, 8-N-1")}};
  QString caption = QStringLiteral("Open");
  bool portMenusEnabled = true;

  void setPanelText(int panel, const QString& text) override { panels[panel] = text; }
  QString panelText(int panel) const override {
    const auto it = panels.find(panel);
    return it == panels.end() ? QString() : it->second;
  }
  QString connectCaption() const override { return caption; }
  void setConnectCaption(const QString& text) override { caption = text; }
  void setPortMenusEnabled(bool enabled) override { portMenusEnabled = enabled; }
};

}  // namespace kestrel::test
