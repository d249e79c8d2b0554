// One command at a time on the window's image.
//
// A command may let Qt process events before it ends: a long transform repaints the window, a
// page step processes pending messages, a question or a file dialog runs its own loop, the
// scanner runs its message loop. A drop, a shortcut, a close request or a timer delivered then
// must not start a second command that replaces or frees the image the first one is writing.
// Every command, drop, file open and close of the window therefore enters through Run: while a
// command runs, what is asked for waits in order and runs as soon as the running command (and
// those queued before it) has ended.
#pragma once

#include <deque>
#include <functional>

namespace brindlex {

class TCommandQueue {
 public:
  using TCommand = std::function<void()>;

  // Runs Command now when no command runs, else queues it behind the running one. Whatever a
  // command raises goes to the application's error handler (HandleException); the queue goes on.
  void Run(TCommand command);
  // True from the start of a command to the end of the last one queued behind it.
  bool Busy() const { return FBusy; }
  // Commands waiting behind the running one.
  size_t Waiting() const { return FWaiting.size(); }
  // Drops the commands still waiting (the window is closing).
  void Clear() { FWaiting.clear(); }

 private:
  bool FBusy = false;
  std::deque<TCommand> FWaiting;
};

}  // namespace brindlex
