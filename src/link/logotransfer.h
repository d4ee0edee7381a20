#pragma once

#include <QString>

#include "link/linkengine.h"
#include "logo/logoraster.h"
#include "port/portconnection.h"

namespace kestrel {

inline constexpr char kMessageA[] = "COMMUNICATION ERROR !!\r\rCheck configuration and connection.";
inline constexpr char kMessageB[] =
    "COMMUNICATION ERROR WHEN SENDING LOGO INFORMATION!!\r\rCheck configuration and connection.";
inline constexpr char kMessageC[] = "Serial port cannot be opened. Check setting.";
inline constexpr char kMessageD[] = "Serial port occupied by another program";

// What the send command changes on the window; the main window implements it.
class TransferView {
 public:
  virtual ~TransferView() = default;
  virtual void setOpenButtonEnabled(bool enabled) = 0;   // cmdOpen
  virtual void setSendButtonEnabled(bool enabled) = 0;   // cmdSend
  virtual void setProgressRange(int minimum, int maximum) = 0;
  virtual void setProgressValue(int value) = 0;
  virtual void setProgressVisible(bool visible) = 0;
  virtual void LockUserInterface() = 0;
  virtual void UnlockUserInterface() = 0;
};

// cmdSend_Click without the window: the 132-frame download of logoData[0..1799].
class LogoTransfer {
 public:
  LogoTransfer(LinkEngine& link, PortConnection& connection, TransferView& view,
               MessageFn message);
  void cmdSend_Click(const LogoRaster& logoData);
  bool Sending() const { return sending_; }

  static uint16_t LogoChecksum(const LogoRaster& logoData);

 private:
  // Steps inside the lock; shows message A or B itself when the device refuses a frame.
  void SendFrames(const LogoRaster& logoData);
  void ShowError(const QString& text);

  LinkEngine& link_;
  PortConnection& connection_;
  TransferView& view_;
  MessageFn message_;
  bool sending_ = false;
};

}  // namespace kestrel
