#pragma once

#include <QVariant>
#include <QWidget>

namespace kestrel {

// The program's own secondary windows (port dialogs, Help, About) carry this mark. The main
// window reruns its activation step only when it takes over from one of them, not after a
// message box, the file dialog or another application.
inline constexpr char kProgramFormProperty[] = "kestrelProgramForm";

inline void MarkAsProgramForm(QWidget* window) {
  window->setProperty(kProgramFormProperty, true);
}

inline bool IsProgramForm(const QWidget* window) {
  return window && window->property(kProgramFormProperty).toBool();
}

}  // namespace kestrel
