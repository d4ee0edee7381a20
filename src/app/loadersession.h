#pragma once

#include <memory>

#include "app/logotransfer.h"
#include "app/portconnection.h"
#include "link/linkengine.h"
#include "port/commcontrol.h"

namespace kestrel {

// The serial port, link engine, port connection and logo download as the program holds them,
// without widgets: the main window, the command-line loader and the benchmark each drive one.
class LoaderSession {
 public:
  // Without a message function nothing is shown (a download's outcome still says everything).
  explicit LoaderSession(std::unique_ptr<CommControl> port, MessageFn message = {},
                         DeviceExistsFn deviceExists = SerialDeviceExists);
  LoaderSession(const LoaderSession&) = delete;
  LoaderSession& operator=(const LoaderSession&) = delete;

  CommControl& port() { return *port_; }
  LinkEngine& link() { return link_; }
  PortConnection& connection() { return connection_; }
  LogoTransfer& transfer() { return transfer_; }

 private:
  std::unique_ptr<CommControl> port_;
  LinkEngine link_;
  PortConnection connection_;
  LogoTransfer transfer_;
};

}  // namespace kestrel
