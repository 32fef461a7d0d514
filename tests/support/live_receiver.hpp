// The tool's receive thread on a pseudo-terminal (or any device path), opened as the window opens
// COM3, with its raw log at a path the test chose. The thread runs the configuration, then the
// listen loop, on a state the test can inspect once it has stopped the thread.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "platform/serial/win32_comm.hpp"
#include "receiver/receive_state.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/receiver_thread.hpp"
#include "tests/support/synchronized_status_lines.hpp"

class LiveReceiver {
  public:
    LiveReceiver(const std::string& devicePath, const std::filesystem::path& logPath)
        : logPath_(logPath) {
        port_ = OpenCom3(devicePath);
        log_ = CreateFileA(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!Ok()) {
            return;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(port_, &dcb);
        dcb.BaudRate = CBR_19200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetCommState(port_, &dcb);
        thread_.emplace(port_, log_, status, ReceiverThread::Start::ConfigureOnTestState);
    }
    ~LiveReceiver() {
        Stop();
        if (port_ != INVALID_HANDLE_VALUE) {
            CloseHandle(port_);
        }
        if (log_ != INVALID_HANDLE_VALUE) {
            CloseHandle(log_);
        }
    }
    LiveReceiver(const LiveReceiver&) = delete;
    LiveReceiver& operator=(const LiveReceiver&) = delete;

    bool Ok() const { return port_ != INVALID_HANDLE_VALUE && log_ != INVALID_HANDLE_VALUE; }

    void Stop() {
        if (thread_) {
            thread_->Stop();
        }
    }

    std::uintmax_t LogSize() const {
        std::error_code ignored;
        const auto size = std::filesystem::file_size(logPath_, ignored);
        return ignored ? 0 : size;
    }
    // True when the log reached `size` bytes within `limit`.
    bool WaitForLogSize(std::uintmax_t size, std::chrono::milliseconds limit) const {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (LogSize() < size) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    std::string Log() const {
        std::ifstream in(logPath_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Valid after Stop; empty when the port or the log could not be opened.
    const SatelliteTables& Tables() const {
        static const SatelliteTables none{};
        return thread_ ? thread_->Tables() : none;
    }
    std::thread::native_handle_type NativeHandle() { return thread_->NativeHandle(); }

    SynchronizedStatusLines status;

  private:
    std::filesystem::path logPath_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE log_ = INVALID_HANDLE_VALUE;
    std::optional<ReceiverThread> thread_;  // after the port and the log are open
};
