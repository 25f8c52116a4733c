// A window for tests that run its ticks themselves: timers stopped, the
// receiver and the reply hand-over at rest.
#pragma once

#include <memory>

#include "app/Log.h"
#include "protocol/Protocol.h"

inline std::unique_ptr<TForm1> RestingForm() {
  auto form = std::make_unique<TForm1>();
  form->Timer1->stop();
  form->Timer2->stop();
  pendingRequest = replyType = replyLength = 0;
  lineLength = 0;
  remoteReplyCount = 0;
  return form;
}
