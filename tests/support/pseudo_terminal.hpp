// A pseudo-terminal pair for tests on POSIX: the test holds the controlling side and plays the
// device; the system opens the other side by its path (for instance through SATLOG_COM3).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            throw std::runtime_error("cannot create a pseudo-terminal");
        }
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0) {
            throw std::runtime_error("cannot name the pseudo-terminal");
        }
        path_ = name;
        // The device side sends and receives raw bytes, as a receiver's port does.
        termios tio{};
        if (::tcgetattr(master_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(master_, TCSANOW, &tio);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal() { HangUp(); }

    // The path the system opens.
    const std::string& Path() const { return path_; }
    int Fd() const { return master_; }

    // Writes everything (blocking while the line's buffer is full).
    void Write(std::span<const std::uint8_t> bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                throw std::runtime_error("write to the pseudo-terminal failed");
            }
        }
    }
    void Write(std::string_view text) const {
        Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

    // What the system sent, collected until `quiet` passes without a byte.
    std::vector<std::uint8_t> ReadUntilQuiet(std::chrono::milliseconds quiet) const {
        std::vector<std::uint8_t> out;
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0 || (p.revents & POLLIN) == 0) {
                return out;
            }
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                return out;
            }
            out.insert(out.end(), buffer, buffer + n);
        }
    }

    // Closes the device side: the system's side is hung up.
    void HangUp() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

  private:
    int master_ = -1;
    std::string path_;
};
