// Follows a raw log while satlog writes it (`--follow`), as `tail -F` follows a file by its name,
// and hands on each epoch as soon as its PBN entry is whole. The follower is the reading half of
// every live command of satlog-dump: a command derives from LogFollowVisitor, gets the same calls
// as from WalkLogEpochs over a finished log, and decides what to make of each epoch.
//
//   class LiveView : public LogFollowVisitor {
//       void CaughtUp() override;                       // the log's past is read: live from here
//       void Epoch(const LogEpoch& e) override;        // a new epoch, its PBN entry just whole
//       void Restart(const LogRestart& r) override;    // a new recording starts (tables empty)
//       void Damage(const LogDamage& d) override;      // a damaged stretch, already reported
//       void Entry(const LogEntry&) override;           // optional: every new entry
//       void Ephemeris(const LogEphemeris&) override;   // optional: every new SNV entry
//   };
//   LiveView view;
//   LogFollower follower("mavu0.txt", view, stderr);  // FollowOptions: --from-start
//   StopFollowerOnSignals(follower);                   // SIGINT, SIGTERM: Run returns 0
//   return follower.Run();                             // 0 stopped, 2 cannot be followed
//
// What it does, and what the calls can rely on:
// - The log is opened for reading only, never locked, and on Windows with read, write and delete
//   sharing: the window can always create ("mavu0.txt Create Error" never comes from here), empty
//   and write it. A name that does not exist yet is waited for.
// - Start: the log is read from its first byte, so that the tables learn the ephemerides it
//   holds; the calls begin with the first entry that was not whole when the follower started
//   (FollowOptions::fromStart: with the first entry of the log). CaughtUp is called once, when
//   what the log held at the start has been read (at once when there is no log yet).
// - A partial entry at the end is pending, never damage: the follower waits for the writer (an
//   inotify watch on Linux; a change notification and a look every quarter second on Windows).
// - Restart is called, and a line says so on the error stream, when the log starts again: the
//   window empties it in place at every start (it is then shorter than what was read, or regrew
//   past that point with other bytes than were read), or its name now holds another file (it
//   was deleted or renamed and created again). The walk starts again at byte 0 with empty tables,
//   and every epoch of the new recording is handed on. When the writer only took back a partial
//   entry after a failed write, reading goes on from where that entry began: no restart.
// - Damage in the middle of the log is reported on the error stream (the same lines as every
//   other command), handed to Damage, and read past.
// - When the log stops growing for FollowOptions::idleFlush, the walk hands on whatever it holds
//   back to judge an epoch by the ones after it (LogEpochWalk::Flush): no epoch waits for the
//   next one indefinitely.
// - Every call is made on the thread that runs Run, one at a time; the spans and references are
//   valid only during the call. A visitor that must give up (its output failed) calls
//   RequestStop and remembers why.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "formats/rawlog/log_epochs.hpp"
#include "tools/dump/followed_file.hpp"
#include "tools/dump/log_change_wait.hpp"

// Why the log started again.
struct LogRestart {
    enum class Cause {
        Emptied,    // shorter than what had been read: the window emptied it at its start
        Rewritten,  // the bytes already read are no longer there: emptied and written anew
        Replaced,   // the name holds another file
    };
    Cause cause = Cause::Emptied;
    std::uint64_t readBefore = 0;  // bytes of the previous recording that had been read
    std::string text;              // as said on the error stream
};

class LogFollowVisitor : public LogEpochVisitor {
  public:
    virtual void CaughtUp() {}
    virtual void Restart(const LogRestart&) {}
};

struct FollowOptions {
    bool fromStart = false;  // hand on the log's epochs from its first, not only the new ones
    // Quiet this long, the log is taken to be idle (LogEpochWalk::Flush). Longer than the two or
    // three epochs of the receiver's one-second recording that the walk may wait for to judge an
    // epoch's time (EpochTimeSequence): a live log is judged as a finished one would be.
    std::chrono::milliseconds idleFlush{3500};
    // Looked at this often also without a notification (file systems that send none).
    std::chrono::milliseconds lookAtLeastEvery{2000};
};

class LogFollower {
  public:
    // `path` is the log's name as the user gave it; messages on `err` name it.
    LogFollower(std::string path, LogFollowVisitor& visitor, std::FILE* err,
                FollowOptions options = {});
    ~LogFollower();
    LogFollower(const LogFollower&) = delete;
    LogFollower& operator=(const LogFollower&) = delete;

    // Follows the log until RequestStop: 0 when stopped, 2 when it cannot be followed (the name
    // holds a directory or a FIFO, no permission, a read error; said on `err`).
    int Run();
    // Run returns soon after. Safe from a signal handler and from another thread.
    void RequestStop() { wait_.RequestStop(); }

  private:
    class Gate;
    enum class Step { Read, Wait, Fail };
    Step Look(bool& grew);
    Step OpenLog(bool first);
    void CheckContinuity(std::uint64_t size);
    Step ReadNewBytes(bool& grew);
    void StartAgain(LogRestart::Cause cause, const std::string& why);
    void Say(const std::string& text);

    std::string path_;
    std::FILE* err_;
    FollowOptions options_;
    std::unique_ptr<Gate> gate_;
    LogEpochWalk walk_;
    FollowedFile file_;
    LogChangeWait wait_;
    bool saidMissing_ = false;
    std::string error_;
    // The last bytes read, ending at the framer's Fed(): what the file must still hold there for
    // the stream to go on (a few entries' worth: the pending bytes and some before them).
    std::array<std::uint8_t, 512> tail_{};
    std::size_t tailLength_ = 0;
};

// SIGINT and SIGTERM stop `follower` (its Run returns 0). For a program with one follower.
void StopFollowerOnSignals(LogFollower& follower);
