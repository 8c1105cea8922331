#include "batch/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

namespace zx {

namespace {

bool UsablePath(const Utf8Text& path) {
    // The system calls stop at a NUL: a path holding one would name some other file.
    return !path.empty() && path.find('\0') == Utf8Text::npos;
}

// Writes all of [data, data + size); false on the first error that a retry cannot cure.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and says whether the close reported the data as written.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// A name for the temporary file beside `path`, hidden and unlikely to be taken.
Utf8Text TemporaryNameFor(const Utf8Text& path) {
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::size_t slash = path.rfind('/');
    const Utf8Text folder = slash == Utf8Text::npos ? Utf8Text() : path.substr(0, slash + 1);
    Utf8Text name = slash == Utf8Text::npos ? path : path.substr(slash + 1);
    // Leave room for the tag within the 255 bytes a file name may have; cut on a character.
    constexpr std::size_t kKeep = 180;
    if (name.size() > kKeep) {
        std::size_t cut = kKeep;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    char tag[40];
    std::snprintf(tag, sizeof tag, ".%d.%llx.%llx.tmp", static_cast<int>(::getpid()),
                  static_cast<unsigned long long>(counter.fetch_add(1)),
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
    return folder + "." + name + tag;
}

}  // namespace

ByteBuffer ReadWholeFile(const Utf8Text& path) {
    Utf8Text reason;
    return ReadWholeFile(path, reason);
}

ByteBuffer ReadWholeFile(const Utf8Text& path, Utf8Text& reason) {
    reason = kCannotRead;
    if (!UsablePath(path)) return {};
    // Non-blocking open: opening a named pipe for reading would otherwise wait for a writer.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) return {};
    struct stat info {};
    // Only regular files have a length to trust; a device or pipe could feed bytes forever.
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    if (info.st_size > MaxWholeFileBytes) {
        reason = kTooLarge;
        return {};
    }
    ByteBuffer bytes(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return {};
        }
        if (n == 0) break;  // the file shrank while being read
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    reason.clear();
    return bytes;
}

bool WriteWholeFile(const Utf8Text& path, const ByteBuffer& data) {
    if (!UsablePath(path)) return false;
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) return false;
    if (!WriteAll(file.get(), data.data(), data.size())) return false;
    return file.Close();
}

WriteOutcome WriteFileSafely(const Utf8Text& path, const ByteBuffer& data) {
    const WriteOutcome failed{false, kCannotWrite};
    if (!UsablePath(path) || path.back() == '/' || data.empty()) return failed;

    Utf8Text temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = TemporaryNameFor(path);
        // 0666 so that the umask gives the output the same mode as any file the user makes.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return failed;
    }
    if (fd < 0) return failed;

    FileDescriptor file(fd);
    const bool complete = WriteAll(file.get(), data.data(), data.size()) &&
                          ::fsync(file.get()) == 0 && file.Close() &&
                          ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!complete) {
        ::unlink(temporary.c_str());
        return failed;
    }
    return {true, {}};
}

}  // namespace zx
