#include "thread1.hpp"

#include "form1_status_lines.hpp"
#include "port_and_log.hpp"
#include "receive_thread.hpp"

thread1::thread1(bool CreateSuspended) : TThread(CreateSuspended) {}

void thread1::Execute() {
    RunReceiveThread(portHandle, logHandle, Form1Status(), TerminatedFlag());
}

void thread1::TerminatedSet() {
    CancelPortWait(portHandle);
}
