#include "tools/dump/whole_file.hpp"

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <system_error>
#include <vector>

#include "records/terminal_text.hpp"

namespace fs = std::filesystem;

namespace {

const char* Kind(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return "a directory";
        case fs::file_type::character:
            return "a character device";
        case fs::file_type::block:
            return "a block device";
        case fs::file_type::fifo:
            return "a pipe";
        case fs::file_type::socket:
            return "a socket";
        default:
            return "not a regular file";
    }
}

// Eight letters and digits that no other run is likely to pick for the same name.
std::string RandomSuffix() {
    thread_local std::mt19937_64 random = [] {
        std::random_device device;
        std::seed_seq seed{
            device(), device(),
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(8, ' ');
    for (char& c : suffix) {
        c = kLetters[random() % (sizeof kLetters - 1)];
    }
    return suffix;
}

// The type of what `path` names; not_found when nothing does, none (with `ec`) when it cannot be
// told.
fs::file_type TypeOf(const fs::file_status& status, std::error_code& ec) {
    if (status.type() == fs::file_type::not_found) {
        ec.clear();
    }
    return ec ? fs::file_type::none : status.type();
}

}  // namespace

WholeFile::WholeFile(std::string path) : path_(std::move(path)) {}

WholeFile::~WholeFile() {
    Discard();
}

void WholeFile::Discard() {
    file_.Close();
    if (!temporary_.empty()) {
        RemoveName(temporary_);
        temporary_.clear();
    }
    registration_.Release();
}

bool WholeFile::Open(std::string& problem) {
    target_ = path_;
    std::error_code ec;
    fs::file_type type = TypeOf(fs::symlink_status(path_, ec), ec);
    if (type == fs::file_type::symlink) {
        // Writing "to" a link writes the file it names; the link stays as it is.
        target_ = fs::canonical(path_, ec).string();
        if (ec) {
            problem = EscapeForTerminal(path_) +
                      " is a link to no file that can be replaced: " + ec.message();
            return false;
        }
        type = TypeOf(fs::status(target_, ec), ec);
    }
    if (ec) {
        problem = "cannot reach " + EscapeForTerminal(path_) + ": " + ec.message();
        return false;
    }
    if (type != fs::file_type::not_found && type != fs::file_type::regular) {
        problem = EscapeForTerminal(path_) + " is " + Kind(type) + ": not written over";
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = target_ + "." + RandomSuffix() + ".part";
        std::string reason;
        // A signal between the creation and the registration would leave the file behind.
        const SignalsHeld held;
        switch (file_.CreateNew(candidate, reason)) {
            case NativeFile::Created::Yes:
                temporary_ = candidate;
                registration_.Register(temporary_);
                return true;
            case NativeFile::Created::NameTaken:
                continue;
            case NativeFile::Created::Failed:
                problem = "cannot create " + EscapeForTerminal(target_) + ": " + reason;
                return false;
        }
    }
    problem = "cannot create " + EscapeForTerminal(target_) + ": no free temporary name beside it";
    return false;
}

void WholeFile::Write(std::string& text) {
    if (!failed_ && !text.empty() && !file_.Write(text.data(), text.size(), failure_)) {
        failed_ = true;
    }
    text.clear();
}

bool WholeFile::Finish(std::string& problem) {
    if (!failed_ && !file_.SyncAndClose(failure_)) {
        failed_ = true;
    }
    if (failed_) {
        problem = "cannot write " + EscapeForTerminal(target_) + ": " + failure_;
        Discard();
        return false;
    }
    return true;
}

bool CommitWholeFiles(std::span<WholeFile* const> files, std::string& problem) {
    struct Placed {
        WholeFile* file;
        std::string backup;  // a second name of the file it replaced, to take it back
    };
    // Another run putting a set into the same folder waits, so that the set found there
    // afterwards is one run's, not one file of each.
    std::optional<FolderLock> turn;
    if (files.size() > 1) {
        const fs::path folder = fs::path(files.front()->target_).parent_path();
        turn.emplace(folder.empty() ? std::string(".") : folder.string());
    }
    const SignalsHeld held;
    std::vector<Placed> placed;
    for (WholeFile* file : files) {
        std::string backup;
        std::error_code ec;
        if (files.size() > 1 && fs::is_regular_file(file->target_, ec)) {
            backup = file->target_ + "." + RandomSuffix() + ".old";
            if (!LinkExisting(file->target_, backup)) {
                backup.clear();
            }
        }
        std::string reason;
        if (!RenameReplacing(file->temporary_, file->target_, reason)) {
            problem = "cannot put " + EscapeForTerminal(file->target_) + " in place: " + reason;
            if (!backup.empty()) {
                RemoveName(backup);
            }
            // Taken back newest first, so that each name gets what it held before this run.
            for (std::size_t k = placed.size(); k-- > 0;) {
                const Placed& back = placed[k];
                std::string ignored;
                if (back.backup.empty() ||
                    !RenameReplacing(back.backup, back.file->target_, ignored)) {
                    RemoveName(back.file->target_);
                }
            }
            for (WholeFile* f : files) {
                f->Discard();
            }
            return false;
        }
        file->temporary_.clear();
        file->registration_.Release();
        placed.push_back({file, std::move(backup)});
    }
    for (const Placed& p : placed) {
        if (!p.backup.empty()) {
            RemoveName(p.backup);
        }
    }
    return true;
}

bool WriteWholeFile(const std::string& path, std::string text, std::string& problem) {
    WholeFile file(path);
    if (!file.Open(problem)) {
        return false;
    }
    file.Write(text);
    WholeFile* const files[] = {&file};
    return file.Finish(problem) && CommitWholeFiles(files, problem);
}

bool NamesTheSameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}
