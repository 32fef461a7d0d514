// The raw log's file calls: create or truncate, share reading, write everything or say so.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
