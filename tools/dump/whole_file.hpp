// Output files that appear whole or not at all (the sky plot, the RINEX pair).
//
// Each file is written to a temporary of its own beside its final name, created under a name
// nobody else uses (never opened through a link, never truncating anything that was there), and
// renamed into place once every byte is on the disk. So an existing file is replaced only by a
// whole new one; parallel runs writing the same name leave one whole file (the last rename wins);
// a failure, and SIGINT, SIGTERM or SIGHUP, leave no temporary behind. An existing output must be
// a regular file (or a link to one: the file it names is replaced); a device, a pipe or a
// directory is never written over.
#pragma once

#include <span>
#include <string>

#include "tools/dump/output_file_system.hpp"

class WholeFile {
  public:
    explicit WholeFile(std::string path);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Checks what the name stands for now and creates the temporary. False with the file and the
    // cause in `problem` when the output cannot be written.
    bool Open(std::string& problem);
    // Writes and empties `text`; a failure is kept for Finish.
    void Write(std::string& text);
    // Puts the temporary's bytes on the disk and closes it. False with the cause (a full disk)
    // when any write failed; the temporary is gone then.
    bool Finish(std::string& problem);

  private:
    friend bool CommitWholeFiles(std::span<WholeFile* const> files, std::string& problem);
    void Discard();

    std::string path_;    // as named
    std::string target_;  // the file to replace: path_, or the file a link at path_ names
    std::string temporary_;
    NativeFile file_;
    TemporaryRegistration registration_;
    bool failed_ = false;
    std::string failure_;
};

// Renames every finished file into place, or none: when one cannot be, the files put in place
// before it are taken back (an earlier file at that name comes back) and every temporary is
// removed. Signals wait until the renames are done, so that an interrupt never leaves half a set,
// and another run putting a set into the same folder waits its turn, so that the set found there
// is one run's.
bool CommitWholeFiles(std::span<WholeFile* const> files, std::string& problem);

// One file: Open, Write, Finish and Commit of `text` in one call.
bool WriteWholeFile(const std::string& path, std::string text, std::string& problem);

// True when both names reach one existing file (an output that would overwrite its own input).
bool NamesTheSameFile(const std::string& a, const std::string& b);
