#include "app/loadersession.h"

#include <utility>

namespace kestrel {

LoaderSession::LoaderSession(std::unique_ptr<CommControl> port, PortDisplay* display,
                             MessageFn message)
    : port_(std::move(port)),
      link_(*port_),
      connection_(*port_, display ? *display : statusTexts_, std::move(message)),
      transfer_(link_, connection_) {}

}  // namespace kestrel
