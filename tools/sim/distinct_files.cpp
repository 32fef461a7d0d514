#include "tools/sim/distinct_files.hpp"

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <system_error>

namespace {

namespace fs = std::filesystem;

struct FileIdentity {
    std::optional<std::pair<dev_t, ino_t>> inode;  // of an existing file
    std::string resolvedPath;                      // where a write would create it
};

FileIdentity IdentityOf(const std::string& path) {
    FileIdentity id;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        id.inode = std::make_pair(st.st_dev, st.st_ino);
    }
    // A dangling symbolic link: writing through it creates its target, so that is the name.
    fs::path p = path;
    std::error_code ec;
    for (int hops = 0; hops < 8 && !id.inode && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) {
            break;
        }
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    const fs::path resolved = fs::weakly_canonical(fs::absolute(p, ec), ec);
    id.resolvedPath = ec ? p.lexically_normal().string() : resolved.string();
    return id;
}

bool Same(const FileIdentity& a, const FileIdentity& b) {
    return (a.inode && b.inode && *a.inode == *b.inode) || a.resolvedPath == b.resolvedPath;
}

}  // namespace

std::string SameFileConflict(const std::vector<NamedFile>& files) {
    std::vector<FileIdentity> ids;
    ids.reserve(files.size());
    for (const NamedFile& f : files) {
        ids.push_back(IdentityOf(f.path));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            const bool written =
                files[i].use == FileUse::Written || files[j].use == FileUse::Written;
            if (written && Same(ids[i], ids[j])) {
                return std::string(files[i].option) + " " + files[i].path + " and " +
                       std::string(files[j].option) + " " + files[j].path +
                       " are the same file; nothing was written";
            }
        }
    }
    return {};
}
