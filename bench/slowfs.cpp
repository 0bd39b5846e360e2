// A mirror of a folder whose every attribute lookup and directory read takes a fixed time,
// answered in parallel, as a network share does: the storage the slow benchmarks and the
// share tests run on.
//   bench_slowfs SOURCE MOUNTPOINT DELAY_MICROSECONDS [FUSE OPTIONS...]
// Unmount with fusermount3 -u MOUNTPOINT. Writes pass through (--tree writes its pages).
// With DIRWEAVER_SLOWFS_FAULTS set, the attributes of a name holding "[EIO]" cannot be read,
// and a name holding "[gone]" is listed but gone when its attributes are asked for, as a
// file removed on the server after the listing.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string g_source;
std::chrono::microseconds g_delay{1000};
// Lookups under way now, and the most there ever were: written to the file that
// DIRWEAVER_SLOWFS_STATS names when the mirror is unmounted.
std::atomic<int> g_inFlight{0};
std::atomic<int> g_mostInFlight{0};
std::atomic<long> g_requests{0};
bool g_faults = false;

std::string at(const char *path)
{
    return g_source + path;
}

void wait()
{
    ++g_requests;
    const int now = ++g_inFlight;
    for (int most = g_mostInFlight; now > most;)
        g_mostInFlight.compare_exchange_weak(most, now);
    std::this_thread::sleep_for(g_delay);
    --g_inFlight;
}

void mirror_destroy(void *)
{
    if (const char *stats = std::getenv("DIRWEAVER_SLOWFS_STATS")) {
        if (std::FILE *f = std::fopen(stats, "w")) {
            std::fprintf(f, "most_in_flight %d\nrequests %ld\n", g_mostInFlight.load(),
                         g_requests.load());
            std::fclose(f);
        }
    }
}

int result(int r)
{
    return r < 0 ? -errno : r;
}

void *mirror_init(fuse_conn_info *conn, fuse_config *config)
{
    // Names are known from the listing, as a share lists them with their attributes
    // (READDIRPLUS), and kept; attributes are never kept: each one asked for is a round
    // trip, answered in parallel. (The kernel asks about names it does not hold one at a
    // time per folder, since libfuse before 3.16 does not let it do otherwise.)
    config->attr_timeout = 0;
    config->entry_timeout = 86400;
    config->negative_timeout = 0;
    config->use_ino = 1;
    conn->want |= conn->capable & FUSE_CAP_READDIRPLUS;
    conn->want &= ~unsigned(FUSE_CAP_READDIRPLUS_AUTO);
    return nullptr;
}

int mirror_getattr(const char *path, struct stat *st, fuse_file_info *fi)
{
    wait();
    if (g_faults && !fi) {
        const std::string_view name(path);
        if (name.find("[EIO]") != std::string_view::npos)
            return -EIO;
        if (name.find("[gone]") != std::string_view::npos)
            return -ENOENT;
    }
    return result(fi ? ::fstat(int(fi->fh), st) : ::lstat(at(path).c_str(), st));
}

int mirror_readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t offset,
                   fuse_file_info *, fuse_readdir_flags)
{
    wait();
    DIR *dir = ::opendir(at(path).c_str());
    if (!dir)
        return -errno;
    // Each entry with its place, so that libfuse hands the kernel every entry with its
    // attributes as it comes, and the kernel keeps the names.
    if (offset != 0)
        ::seekdir(dir, long(offset));
    while (const dirent *entry = ::readdir(dir)) {
        struct stat st = {};
        const bool plus = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!plus) {
            st.st_ino = entry->d_ino;
            st.st_mode = mode_t(DTTOIF(entry->d_type));
        }
        if (fill(buffer, entry->d_name, &st, off_t(::telldir(dir)),
                 plus ? FUSE_FILL_DIR_PLUS : fuse_fill_dir_flags(0)) != 0)
            break;
    }
    ::closedir(dir);
    return 0;
}

int mirror_open(const char *path, fuse_file_info *fi)
{
    const int fd = ::open(at(path).c_str(), fi->flags);
    if (fd < 0)
        return -errno;
    fi->fh = uint64_t(fd);
    return 0;
}

int mirror_create(const char *path, mode_t mode, fuse_file_info *fi)
{
    const int fd = ::open(at(path).c_str(), fi->flags, mode);
    if (fd < 0)
        return -errno;
    fi->fh = uint64_t(fd);
    return 0;
}

int mirror_read(const char *, char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    return result(int(::pread(int(fi->fh), buffer, size, offset)));
}

int mirror_write(const char *, const char *buffer, size_t size, off_t offset, fuse_file_info *fi)
{
    return result(int(::pwrite(int(fi->fh), buffer, size, offset)));
}

int mirror_release(const char *, fuse_file_info *fi)
{
    ::close(int(fi->fh));
    return 0;
}

int mirror_fsync(const char *, int, fuse_file_info *fi)
{
    return result(::fsync(int(fi->fh)));
}

int mirror_truncate(const char *path, off_t size, fuse_file_info *fi)
{
    return result(fi ? ::ftruncate(int(fi->fh), size) : ::truncate(at(path).c_str(), size));
}

int mirror_rename(const char *from, const char *to, unsigned int flags)
{
    return result(::renameat2(AT_FDCWD, at(from).c_str(), AT_FDCWD, at(to).c_str(), flags));
}

int mirror_unlink(const char *path)
{
    return result(::unlink(at(path).c_str()));
}

int mirror_link(const char *from, const char *to)
{
    return result(::link(at(from).c_str(), at(to).c_str()));
}

int mirror_mkdir(const char *path, mode_t mode)
{
    return result(::mkdir(at(path).c_str(), mode));
}

int mirror_rmdir(const char *path)
{
    return result(::rmdir(at(path).c_str()));
}

int mirror_symlink(const char *target, const char *path)
{
    return result(::symlink(target, at(path).c_str()));
}

int mirror_readlink(const char *path, char *buffer, size_t size)
{
    const ssize_t n = ::readlink(at(path).c_str(), buffer, size - 1);
    if (n < 0)
        return -errno;
    buffer[n] = '\0';
    return 0;
}

int mirror_chmod(const char *path, mode_t mode, fuse_file_info *fi)
{
    return result(fi ? ::fchmod(int(fi->fh), mode) : ::chmod(at(path).c_str(), mode));
}

int mirror_chown(const char *path, uid_t uid, gid_t gid, fuse_file_info *fi)
{
    return result(fi ? ::fchown(int(fi->fh), uid, gid) : ::lchown(at(path).c_str(), uid, gid));
}

int mirror_utimens(const char *path, const timespec times[2], fuse_file_info *fi)
{
    return result(fi ? ::futimens(int(fi->fh), times)
                     : ::utimensat(AT_FDCWD, at(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int mirror_statfs(const char *path, struct statvfs *st)
{
    return result(::statvfs(at(path).c_str(), st));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fputs("usage: bench_slowfs SOURCE MOUNTPOINT DELAY_MICROSECONDS [FUSE OPTIONS...]\n",
                   stderr);
        return 2;
    }
    char resolved[PATH_MAX];
    if (!::realpath(argv[1], resolved)) {
        std::perror(argv[1]);
        return 1;
    }
    g_source = resolved;
    g_delay = std::chrono::microseconds(std::atol(argv[3]));
    g_faults = std::getenv("DIRWEAVER_SLOWFS_FAULTS") != nullptr;
    fuse_operations ops = {};
    ops.init = mirror_init;
    ops.destroy = mirror_destroy;
    ops.getattr = mirror_getattr;
    ops.readdir = mirror_readdir;
    ops.open = mirror_open;
    ops.create = mirror_create;
    ops.read = mirror_read;
    ops.write = mirror_write;
    ops.release = mirror_release;
    ops.fsync = mirror_fsync;
    ops.truncate = mirror_truncate;
    ops.rename = mirror_rename;
    ops.unlink = mirror_unlink;
    ops.link = mirror_link;
    ops.mkdir = mirror_mkdir;
    ops.rmdir = mirror_rmdir;
    ops.symlink = mirror_symlink;
    ops.readlink = mirror_readlink;
    ops.chmod = mirror_chmod;
    ops.chown = mirror_chown;
    ops.utimens = mirror_utimens;
    ops.statfs = mirror_statfs;
    // The program name, the mount point and the options after the delay go to FUSE.
    std::vector<char *> args = {argv[0], argv[2]};
    for (int i = 4; i < argc; ++i)
        args.push_back(argv[i]);
    return fuse_main(int(args.size()), args.data(), &ops, nullptr);
}
