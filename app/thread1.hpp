// The receive thread: configures the receiver, then records and processes what it sends, writing
// the status lines of Form1, until the window closes.
#pragma once

#include "platform/forms/thread.hpp"

class thread1 : public TThread {
  public:
    explicit thread1(bool CreateSuspended);

  protected:
    void Execute() override;
    // At close: wakes the thread from its wait on the port so that it ends promptly.
    void TerminatedSet() override;
};
