// Files the engine makes beside its databases: created private to their owner, and records
// written so that a crash at any point leaves either the old or the new record whole.
#include "iiapi/internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace iiapi {

namespace {

bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= size_t(w);
    }
    return true;
}

}  // namespace

bool createPrivateFile(const std::string& path, bool mustBeNew, std::string& why) {
    // Only the owner reads a database, whatever the directory or the umask allow; a link planted
    // under the name is not followed.
    int flags = O_CREAT | O_WRONLY | O_NOFOLLOW | O_CLOEXEC | (mustBeNew ? O_EXCL : 0);
    int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat sb;
    bool ok = fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode);
    if (!ok) why = "not a regular file";
    ::close(fd);
    return ok;
}

bool syncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool writeFileAtomically(const std::string& dir, const std::string& name, const std::string& bytes,
                         std::string& why) {
    const std::string final = dir + "/" + name;
    const std::string temp = dir + "/." + name + ".tmp";
    int fd = ::open(temp.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = "cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = writeAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    if (!ok) why = "cannot write " + temp + ": " + std::strerror(errno);
    ::close(fd);
    if (ok && ::rename(temp.c_str(), final.c_str()) != 0) {
        why = "cannot rename " + temp + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The new name itself must survive a crash.
    if (!syncDirectory(dir)) {
        why = "cannot sync " + dir + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool removeFileDurably(const std::string& dir, const std::string& name) {
    const std::string path = dir + "/" + name;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
    return syncDirectory(dir);
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bytes.clear();
    char buf[65536];
    for (;;) {
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            ::close(fd);
            return r == 0;
        }
        bytes.append(buf, size_t(r));
    }
}

}  // namespace iiapi
