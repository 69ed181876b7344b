// Files the engine makes beside its databases, created private to their owner.
#include "iiapi/internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace iiapi {

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
