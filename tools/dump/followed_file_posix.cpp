#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/dump/followed_file.hpp"

FollowedFile::~FollowedFile() {
    Close();
}

FollowedFile::Opened FollowedFile::Open(const std::string& path, std::string& error) {
    Close();
    // No lock of any kind: the window's writer lock must always be free for it to take.
    // O_NONBLOCK so that a FIFO under the name cannot hang the open; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return Opened::Missing;
        }
        error = std::strerror(errno);
        return Opened::Failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "it is a directory" : "it is not a regular file";
        ::close(fd);
        return Opened::Failed;
    }
    fd_ = fd;
    return Opened::Yes;
}

void FollowedFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool FollowedFile::IsOpen() const {
    return fd_ >= 0;
}

bool FollowedFile::Size(std::uint64_t& size, std::string& error) const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::int64_t FollowedFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer,
                                  std::string& error) const {
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            error = std::strerror(errno);
            return -1;
        }
    }
}

FollowedFile::Name FollowedFile::CheckName(const std::string& path) const {
    struct stat named {};
    struct stat open {};
    if (::stat(path.c_str(), &named) != 0) {
        return Name::Missing;
    }
    if (::fstat(fd_, &open) != 0 || named.st_dev != open.st_dev || named.st_ino != open.st_ino) {
        return Name::Replaced;
    }
    return Name::Same;
}
