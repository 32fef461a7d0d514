// The raw log's file calls: create or truncate, share reading, write everything or say so.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/serial/win32_comm.hpp"

namespace {

class FileHandleTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "satlog-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        path_ = (dir_ / "mavu0.txt").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    HANDLE CreateLog() const {
        return CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path dir_;
    std::string path_;
};

TEST_F(FileHandleTest, CreateAlwaysCreatesThenTruncatesWithMode0644) {
    { std::ofstream(path_) << "previous run"; }
    ::chmod(path_.c_str(), 0600);
    const HANDLE log = CreateLog();
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Contents(), "");
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(log, "SNV,abc", 7, &written, nullptr));
    EXPECT_EQ(written, 7u);
    EXPECT_EQ(Contents(), "SNV,abc");
    CloseHandle(log);

    std::filesystem::remove(path_);
    const HANDLE fresh = CreateLog();
    ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
    struct stat info {};
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777 & ~0022u, 0644u & ~0022u);  // as far as the umask lets it
    CloseHandle(fresh);
}

TEST_F(FileHandleTest, OthersMayReadButASecondWriterIsRefusedAndTruncatesNothing) {
    const HANDLE log = CreateLog();
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(log, "PBN,", 4, &written, nullptr));

    const HANDLE second = CreateLog();
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Contents(), "PBN,") << "a refused writer must not truncate";

    const HANDLE reader =
        CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    char buffer[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "PBN,");
    CloseHandle(reader);
    CloseHandle(log);
}

TEST_F(FileHandleTest, AFailedWriteIsReportedAsAFailure) {
    const HANDLE full = CreateFileA("/dev/full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(full, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(full, "SNV,", 4, &written, nullptr));
    EXPECT_EQ(written, 0u);
    CloseHandle(full);

    written = 99;
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "SNV,", 4, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FileHandleTest, AWriteThatDoesNotFitLeavesNothingBehind) {
    const HANDLE log = CreateLog();
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(log, "PBN,", 4, &written, nullptr));

    // Room for 6 more bytes only, as on a full disk; the oversized write must not leave a torn
    // entry that would make everything logged after it unreadable.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    written = 99;
    const BOOL ok = WriteFile(log, "MPC,12345678", 12, &written, nullptr);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(Contents(), "PBN,");

    // Space is back: the next entry follows the last whole one.
    ASSERT_TRUE(WriteFile(log, "SNV,", 4, &written, nullptr));
    EXPECT_EQ(Contents(), "PBN,SNV,");
    CloseHandle(log);
}

// Another program cut the log back (or emptied it) while satlog records: the next entry follows
// what is left, with no hole of zero bytes in front of it that would hide it from a reader.
TEST_F(FileHandleTest, WritesLandAtTheEndAfterAnOutsideTruncation) {
    const HANDLE log = CreateLog();
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(log, "PBN,1234", 8, &written, nullptr));
    ASSERT_EQ(::truncate(path_.c_str(), 4), 0);
    ASSERT_TRUE(WriteFile(log, "SNV,", 4, &written, nullptr));
    EXPECT_EQ(Contents(), "PBN,SNV,");
    CloseHandle(log);
}

// A name that leads to someone else's file (a link, also a dangling one) or to something that is
// not a plain file is refused before anything is emptied, at once, and the cause is named.
TEST_F(FileHandleTest, LinksAndNonRegularFilesAreRefusedUntouched) {
    const std::string victim = (dir_ / "victim").string();
    { std::ofstream(victim) << "someone else's data"; }
    const auto refusedWith = [&](const std::string& cause) {
        const HANDLE log = CreateLog();
        const std::string said = LastCreateFailureCause();
        if (log != INVALID_HANDLE_VALUE) {
            CloseHandle(log);
            return testing::AssertionFailure() << "opened";
        }
        if (said.find(cause) == std::string::npos) {
            return testing::AssertionFailure() << "cause: " << said;
        }
        return testing::AssertionSuccess();
    };

    ASSERT_EQ(::symlink(victim.c_str(), path_.c_str()), 0);
    EXPECT_TRUE(refusedWith("symbolic link"));
    std::filesystem::remove(path_);
    const std::string nowhere = (dir_ / "nowhere").string();
    ASSERT_EQ(::symlink(nowhere.c_str(), path_.c_str()), 0);
    EXPECT_TRUE(refusedWith("symbolic link"));
    EXPECT_FALSE(std::filesystem::exists(nowhere)) << "a dangling link created its target";
    std::filesystem::remove(path_);
    ASSERT_EQ(::link(victim.c_str(), path_.c_str()), 0);
    EXPECT_TRUE(refusedWith("2 hard links"));
    std::filesystem::remove(path_);
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "someone else's data");

    // A FIFO, with and without a reader: the open must neither block nor write into it.
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    EXPECT_TRUE(refusedWith("a FIFO, not a regular file"));
    const int reader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(refusedWith("a FIFO, not a regular file"));
    ::close(reader);
}

// The cause of a failure is the system's own, not a guess among a few fixed texts.
TEST_F(FileHandleTest, ACreateFailureNamesItsRealCause) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int probe = ::open("/dev/null", O_RDONLY);  // the lowest free descriptor
    ASSERT_GE(probe, 0);
    rlimit few = saved;
    few.rlim_cur = static_cast<rlim_t>(probe);
    ::close(probe);
    const char* path = path_.c_str();
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    // Nothing but the call under test while no descriptor is free (the sanitizers' own checks
    // may need one).
    const HANDLE tooMany =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string tooManyCause = LastCreateFailureCause();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(tooMany, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tooManyCause, std::strerror(EMFILE));

    // The working directory has been deleted under the program.
    const auto previous = std::filesystem::current_path();
    const auto gone = dir_ / "gone";
    std::filesystem::create_directory(gone);
    ASSERT_EQ(::chdir(gone.c_str()), 0);
    std::filesystem::remove(gone);
    const HANDLE orphan = CreateFileA("mavu0.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, 0, nullptr);
    const std::string orphanCause = LastCreateFailureCause();
    std::filesystem::current_path(previous);
    EXPECT_EQ(orphan, INVALID_HANDLE_VALUE);
    EXPECT_EQ(orphanCause, std::strerror(ENOENT));
}

TEST_F(FileHandleTest, SerialCallsOnAFileFail) {
    const HANDLE log = CreateLog();
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    DCB dcb{};
    EXPECT_FALSE(GetCommState(log, &dcb));
    COMMTIMEOUTS timeouts{};
    EXPECT_FALSE(SetCommTimeouts(log, &timeouts));
    CloseHandle(log);
}

}  // namespace
