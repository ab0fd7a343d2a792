// The per-adapter queue of the driver's event records.
#include "driver_core.h"

namespace kestrune::sim::detail {

void LiveAdapter::Queue(const EventBytes& record) {
  while (events.size() >= kEventQueueCap) {
    events.pop_front();
    ++droppedEvents;
  }
  events.push_back(record);
}

}  // namespace kestrune::sim::detail
