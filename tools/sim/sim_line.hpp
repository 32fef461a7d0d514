// The simulator's end of the serial line: a new pseudo-terminal whose other end the tool opens, or
// a real serial device (for a null-modem cable to another machine). Either way 19200 bits/s, 8N1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// SIGINT, SIGTERM and SIGHUP end a run cleanly (the link is removed): they interrupt every wait of
// the line, which then reports failure with Interrupted() true.
void InstallInterruptHandlers();
bool Interrupted();

class SimLine {
  public:
    // A new pseudo-terminal; with a non-empty `linkPath`, a symbolic link to its tool end is placed
    // there (an existing symbolic link is replaced, anything else is left alone and refused).
    static std::unique_ptr<SimLine> OpenPseudoTerminal(const std::string& linkPath,
                                                       std::string& error);
    static std::unique_ptr<SimLine> OpenDevice(const std::string& path, std::string& error);

    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // The path the tool opens: the pseudo-terminal's tool end, or the device.
    const std::string& ToolPath() const { return toolPath_; }

    // Sends all bytes, waiting while the line is full. False on failure or interruption.
    bool Write(std::span<const std::uint8_t> bytes);
    // Waits up to `timeoutMs` (negative: without limit) for bytes from the tool. Returns the count
    // read, 0 when the time ran out, -1 on failure or interruption.
    long Read(std::uint8_t* buffer, std::size_t size, int timeoutMs);
    // Waits until the tool has taken every byte sent (pseudo-terminal) or the device has sent them;
    // gives up when nothing moves for `idleLimitMs`.
    void Drain(int idleLimitMs);
    // Ends the line as a receiver that is switched off would: the tool sees a hang-up.
    void HangUp();

    const std::string& LastError() const { return lastError_; }

    // Bytes sent that the tool has not read yet (pseudo-terminal), or that wait in the device's
    // output queue.
    long Unread() const;

  private:
    SimLine() = default;

    int fd_ = -1;      // the simulator's end (pseudo-terminal master, or the device)
    int toolFd_ = -1;  // pseudo-terminal only: the tool end, held open so that the line exists
                       // before the tool opens it and its unread bytes can be counted
    bool device_ = false;
    std::string toolPath_;
    std::string linkPath_;
    std::string lastError_;
};
