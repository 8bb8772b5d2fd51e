#include "FileIO.h"

#include "Error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvi {

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw CannotOpenFile(path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        throw CannotOpenFile(path);
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the file shrank while we read: keep what is there
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(done);
    return data;
}

namespace {

// Writes all of data to fd; 0 or the error number.
int WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

void WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
    auto fail = [&](int err) {
        return Error("Cannot write file " + path + ": " + std::strerror(err));
    };
    // A device or a pipe (-o /dev/null, /dev/stdout, a FIFO) takes the bytes
    // as they come: a temporary file renamed over it would replace the
    // device itself, and a user who may not write in /dev could not write
    // at all.
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode) &&
        !S_ISDIR(target.st_mode)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) throw fail(errno);
        int err = WriteAll(fd, data, size);
        if (::close(fd) != 0 && err == 0) err = errno;
        if (err != 0) throw fail(err);
        return;
    }
    std::string tmp = path + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw fail(errno);
    if (const int written = WriteAll(fd, data, size); written != 0) {
        ::close(fd);
        ::unlink(name.data());
        throw fail(written);
    }
    // mkstemp creates the file readable by its owner only; give it the usual
    // permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    int err = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(name.data());
        throw fail(err);
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        err = errno;
        ::unlink(name.data());
        throw fail(err);
    }
}

} // namespace torvi
