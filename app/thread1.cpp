#include "app/thread1.hpp"

#include "app/form1_status_lines.hpp"
#include "app/port_and_log.hpp"
#include "receiver/receive_thread.hpp"

thread1::thread1(bool CreateSuspended) : TThread(CreateSuspended) {}

void thread1::Execute() {
    RunReceiveThread(portHandle, logHandle, Form1Status(), TerminatedFlag());
}

void thread1::TerminatedSet() {
    CancelPortWait(portHandle);
}
