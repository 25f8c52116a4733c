// What the unit has to say, and how urgently.
#pragma once

#include <string>

namespace sim {

// Trace lines queue up; replies overtake them at the next line boundary;
// raw (remote) replies do too, and the trace pauses after them. Download
// messages go whole as well, and drop whatever the firmware still had
// queued: the loader has taken the port.
enum class Channel { Trace, Reply, Raw, Download };

struct Outgoing {
  std::string bytes;
  Channel channel = Channel::Trace;
};

}  // namespace sim
