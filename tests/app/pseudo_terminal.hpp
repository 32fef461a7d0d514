// A pseudo-terminal pair standing in for the receiver's serial line: the program opens the
// device end (SATLOG_COM3 points at it), the test holds the other end and stays silent.
#pragma once

#include <pty.h>
#include <unistd.h>

#include <string>

class PseudoTerminal {
  public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&controller_, &device_, name, nullptr, nullptr) == 0) {
            path_ = name;
            // Only the program under test holds the device end open.
            close(device_);
            device_ = -1;
        }
    }
    ~PseudoTerminal() {
        if (controller_ >= 0) {
            close(controller_);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    int Controller() const { return controller_; }

  private:
    int controller_ = -1;
    int device_ = -1;
    std::string path_;
};
