// The raw log opened for following while the window writes it. It is opened for reading only and
// never locked, and on Windows with read, write and delete sharing, so that the window can always
// create, empty and write "mavu0.txt", and the user can delete or rename it, while it is followed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

class FollowedFile {
  public:
    enum class Opened { Yes, Missing, Failed };
    // Whether the name still reaches the open file.
    enum class Name { Same, Replaced, Missing };

    FollowedFile() = default;
    ~FollowedFile();
    FollowedFile(const FollowedFile&) = delete;
    FollowedFile& operator=(const FollowedFile&) = delete;

    // Missing when no file has that name (yet); Failed, with the cause in `error`, when the name
    // holds something that cannot be followed (no permission, a directory, a FIFO).
    Opened Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const;

    // The file's size now.
    bool Size(std::uint64_t& size, std::string& error) const;
    // Reads up to `buffer.size()` bytes from `offset` without moving any shared position: the
    // count read (0 at the end), or -1 with the cause in `error`.
    std::int64_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer,
                        std::string& error) const;
    // Same while `path` names the open file; Replaced when it names another one (the file was
    // deleted or renamed and created again), Missing when it names none.
    Name CheckName(const std::string& path) const;

  private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};
