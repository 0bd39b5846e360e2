#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <sys/stat.h>

namespace dirweaver {

/// Closes a descriptor when it goes out of scope, keeping errno.
struct Descriptor
{
    /// The descriptor held, -1 for none.
    int fd = -1;
    Descriptor() = default;
    /// Holds d.
    explicit Descriptor(int d) : fd(d) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() { reset(); }
    /// Closes the descriptor held and holds d instead.
    void reset(int d = -1);
};

/// Writes length bytes of data to fd, going on after a short write; false with errno set.
bool WriteAll(int fd, const char *data, qint64 length);

/// A file of the program's own under a temporary name in an open folder, removed again
/// unless kept, and removed too when SIGINT, SIGTERM or SIGHUP ends the program while it
/// exists (RemoveTemporariesOnSignals).
class NamedTemporary
{
public:
    /// Nothing made yet.
    NamedTemporary() = default;
    /// Removes the file unless it was kept or renamed.
    ~NamedTemporary();
    NamedTemporary(const NamedTemporary &) = delete;
    NamedTemporary &operator=(const NamedTemporary &) = delete;

    /// Makes a new file in dirFd under a fresh temporary name with mode (the umask and a
    /// default ACL apply): its descriptor open for writing, or -1 with errno set.
    int create(int dirFd, mode_t mode);
    /// Links the unnamed file fd (O_TMPFILE) into dirFd under a fresh temporary name; false
    /// with errno set.
    bool link(int dirFd, int fd);
    /// The name made.
    const QByteArray &name() const { return name_; }
    /// Renames the file to name in the same folder, replacing what is there; it is then no
    /// longer temporary. False with errno set.
    bool renameTo(const QByteArray &name);

private:
    // Makes the name with make(name), the name armed for a signal before it exists.
    template <typename Make> bool make(int dirFd, Make make);
    void release();
    int dirFd_ = -1;
    QByteArray name_;
    int slot_ = -1;
};

/// A new page file in the folder dirFd: unnamed where the file system allows it, so that
/// nothing is left if the program dies before it is linked in; otherwise made by named.
/// mode is what a new file asks for. A descriptor, or -1 with errno set.
int NewPageFile(int dirFd, mode_t mode, NamedTemporary &named);

/// Puts the new file fd (unnamed, or made by named) at name in dirFd, replacing what is
/// there; false with errno set.
bool LinkPageFile(int dirFd, int fd, NamedTemporary &named, const QByteArray &name);

/// Removes every temporary page file still being written when SIGINT, SIGTERM or SIGHUP
/// ends the program, which then ends as the signal asks.
void RemoveTemporariesOnSignals();

/// Gives the new file to what the replaced file from has (its facts old): owner (or at
/// least group), extended attributes and ACLs, then the mode.
void CopyMetadata(int from, const struct stat &old, int to);

} // namespace dirweaver
