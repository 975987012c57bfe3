#pragma once
// A lock that processes take on a file, for work that two processes must not
// do at the same time on the same data (an update run of one data folder,
// a change of the subscription file). It is advisory (flock): only those
// that ask for it are kept out, and the system drops it when the holder
// ends, however it ends, so a killed process never leaves the data locked.
#include <string>

class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock() { Unlock(); }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Takes the lock on the file (created when missing) without waiting;
    // false when another holder has it or the file cannot be opened. Two
    // objects of one process exclude each other as well.
    bool TryLock(const std::wstring& path);
    // Takes the lock, waiting up to timeoutMs for the holder to let it go;
    // false when it is still held then, or the file cannot be opened.
    bool Lock(const std::wstring& path, int timeoutMs);
    void Unlock();
    bool IsLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
