// A receive thread as the window runs it, on a port a test opened, with its raw log in a scratch
// directory: for the receive tests, the drills and the receive benchmarks alike.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial/win32_comm.hpp"
#include "receiver/line_events.hpp"
#include "receiver/receive_read_settings.hpp"
#include "receiver/receive_state.hpp"
#include "receiver/receive_thread.hpp"
#include "receiver/status_lines.hpp"

// "mavu0.txt" in a scratch directory of its own, opened as the window opens it.
class ScratchLog {
  public:
    ScratchLog() {
        std::string pattern = (std::filesystem::temp_directory_path() / "satlog-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        path_ = dir_ / "mavu0.txt";
        handle_ = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~ScratchLog() {
        CloseHandle(handle_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    HANDLE Handle() const { return handle_; }
    const std::filesystem::path& Path() const { return path_; }
    std::vector<std::uint8_t> Contents() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::uintmax_t Size() const {
        std::error_code ignored;
        return std::filesystem::file_size(path_, ignored);
    }

  private:
    std::filesystem::path dir_;
    std::filesystem::path path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A receive thread over `port`: the whole thread body (configuration first), only the listen loop
// as it runs once the configuration is done, or the configuration and the listen loop on a state
// the test reads once it has stopped the thread.
class ReceiverThread {
  public:
    enum class Start { Configure, Listen, ConfigureOnTestState };

    ReceiverThread(HANDLE port, HANDLE log, StatusLines& status, Start start) : port_(port) {
        SetCommMask(port_, kLineEvents);
        state_->stop = &stop_;
        thread_ = std::thread([this, port, log, &status, start] {
            if (start == Start::Configure) {
                RunReceiveThread(port, log, status, stop_);
                return;
            }
            if (start == Start::Listen) {
                UseImmediateReads(port, *state_);
            } else {
                ConfigureReceiver(port, *state_);
            }
            ReceiveRecords(port, log, status, *state_);
        });
    }
    ~ReceiverThread() { Stop(); }

    // As the window does at shutdown.
    void Stop() {
        if (thread_.joinable()) {
            stop_.store(true, std::memory_order_release);
            CancelPortWait(port_);
            thread_.join();
        }
    }
    std::thread::native_handle_type NativeHandle() { return thread_.native_handle(); }
    bool Running() const { return thread_.joinable(); }
    // The tables the thread filled (not with Start::Configure, whose state is its own); valid
    // after Stop.
    const SatelliteTables& Tables() const { return state_->tables; }

  private:
    HANDLE port_;
    std::atomic<bool> stop_{false};
    std::unique_ptr<ReceiveState> state_ = std::make_unique<ReceiveState>();  // large
    std::thread thread_;
};
