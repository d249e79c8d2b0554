#include "TCommandQueue.h"

#include "TBrindlexApplication.h"

namespace brindlex {

void TCommandQueue::Run(TCommand command) {
  FWaiting.push_back(std::move(command));
  if (FBusy) return;
  FBusy = true;
  struct TIdle {
    bool& Busy;
    ~TIdle() { Busy = false; }
  } idle{FBusy};
  while (!FWaiting.empty()) {
    const TCommand next = std::move(FWaiting.front());
    FWaiting.pop_front();
    RunCommand(next);
  }
}

}  // namespace brindlex
