#include "app/loadersession.h"

#include <utility>

namespace kestrel {

LoaderSession::LoaderSession(std::unique_ptr<CommControl> port, MessageFn message,
                             DeviceExistsFn deviceExists)
    : port_(std::move(port)),
      link_(*port_),
      connection_(*port_, std::move(message), std::move(deviceExists)),
      transfer_(link_, connection_) {}

}  // namespace kestrel
