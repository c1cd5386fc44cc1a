// Helpers shared by the tests: temporary folders, mounts, locks held elsewhere, file bytes.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace odomei::test {

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Makes a folder the current directory for the length of a scope.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();

private:
    std::string m_previous;
};

// A small tmpfs of its own, for a device that fills up or a folder that cannot be written even
// by root. Usable() is false where mounting is not allowed; tests then skip.
class ScratchMount {
public:
    explicit ScratchMount(std::size_t bytes);
    ~ScratchMount();
    bool Usable() const { return m_mounted; }
    const std::string& Path() const { return m_dir.Path(); }
    std::string File(const std::string& name) const { return m_dir.File(name); }
    bool MakeReadOnly();

private:
    TempDir m_dir;
    bool m_mounted = false;
};

// A folder where creating a file fails: read-only permissions for a normal user, a read-only
// mount for root (who ignores permissions). Empty when neither can be had.
class UnwritableDir {
public:
    UnwritableDir();
    ~UnwritableDir();
    const std::string& Path() const { return m_path; }

private:
    std::unique_ptr<ScratchMount> m_mount;
    TempDir m_dir;
    std::string m_path;
};

// A folder where nothing new can be made once locked, while the files already in it stay
// writable, as a logbook whose folder was made read-only: read-only permissions for a normal user;
// for root (whom permissions do not stop), a read-only mount with each file mounted writable over
// itself. Lock() is false where neither can be had.
class LockedFolder {
public:
    LockedFolder();
    ~LockedFolder();
    const std::string& Path() const { return m_mount ? m_mount->Path() : m_dir.Path(); }
    std::string File(const std::string& name) const { return Path() + "/" + name; }
    bool Lock();

private:
    std::unique_ptr<ScratchMount> m_mount;
    TempDir m_dir;
};

// Another process holding an exclusive flock on a file until the end of the scope.
class LockHolder {
public:
    explicit LockHolder(const std::string& path);
    ~LockHolder();
    bool Holding() const { return m_holding; }

private:
    int m_pid = -1;
    bool m_holding = false;
};

// Terminal nodes for a machine made in a test (its /dev, /sys and /proc in folders of its own):
// each a pseudo-terminal of its own that nothing answers on, reached by a link in the fake /dev,
// with its device number led to its tty in the fake sysfs (sys/dev/char/MAJOR:MINOR, as the kernel
// keeps it) and its driver in the fake proc/tty/drivers, so the survey takes it for the tty it
// stands for. An open of it succeeds; a read on it hears nothing.
class FakeTerminals {
public:
    FakeTerminals(std::string sys, std::string proc);
    ~FakeTerminals();
    FakeTerminals(const FakeTerminals&) = delete;
    FakeTerminals& operator=(const FakeTerminals&) = delete;
    // Makes node (a path in the fake /dev) the terminal the fake sysfs names tty.
    void Add(const std::string& node, const std::string& tty);

private:
    std::string m_sys, m_proc;
    std::vector<int> m_masters;
};

// The machine's date when made. A program run by a test keeps the real clock, and its log rightly
// starts afresh at its first entry of a new day: a check of such a log holds only while
// SameDate() (which says on standard error when midnight passed, and the check is left out).
class DateWatch {
public:
    DateWatch();
    bool SameDate() const;

private:
    int m_year, m_month, m_day;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// An SQLite database made by sql, for files the logbook must tell from its own.
void MakeDatabase(const std::string& path, const std::string& sql);
// Every row a query of the database at path gives, its columns joined by '|', a line each (a
// NULL as "~"); "no query" where it cannot be prepared.
std::string QueryRows(const std::string& path, const std::string& sql);
// A logbook whose records cannot be read: every page after the first (the schema) spoilt.
void SpoilPagesAfterFirst(const std::string& path);
// Stores a record with these six texts (figures read from them) in the logbook at path, as
// imports stored them before they were held to the decoder's texts: with no check at all.
void StoreUncheckedRecord(const std::string& path, const std::vector<std::string>& texts);

}  // namespace odomei::test
