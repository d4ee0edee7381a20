#pragma once

#include <QString>

#include "app/portstate.h"

namespace kestrel::test {

// The status bar's panels 1 to 3 and the Comm menu as a window renders them from a port
// connection's state, read at the moment asked.
class PortStatusView {
 public:
  explicit PortStatusView(const PortState& state) : state_(state) {}
  QString panelText(int panel) const {
    const PortStatusTexts texts = StatusTextsOf(state_);
    return panel == 1 ? texts.state : panel == 2 ? texts.port : texts.lineSettings;
  }
  QString caption() const { return StatusTextsOf(state_).connectCaption; }
  bool portMenusEnabled() const { return StatusTextsOf(state_).portMenusEnabled; }

 private:
  const PortState& state_;
};

}  // namespace kestrel::test
