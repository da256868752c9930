#pragma once

#include <QString>

// A bindfs mount of a private folder: a real FUSE file system, which refuses RENAME_EXCHANGE
// and RENAME_NOREPLACE as network, encrypted and FUSE home folders do. Unmounted when it goes,
// also after a failed test.
class FuseMount
{
public:
    // Why no FUSE file system can be mounted here (no /dev/fuse, not root), or empty.
    static QString unavailableReason();

    // Mounts `lower` (created if needed) at `mountPoint` (created if needed).
    FuseMount(const QString& lower, const QString& mountPoint);
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    bool isMounted() const { return m_mounted; }
    QString error() const { return m_error; }
    QString path() const { return m_mountPoint; }
    QString lowerPath() const { return m_lower; }

    // Stops and continues the bindfs process of this mount, so that every access waits, as on a
    // stalled network folder. A stalled mount is continued before it is unmounted.
    bool stall();
    bool resume();

private:
    QString m_lower;
    QString m_mountPoint;
    QString m_error;
    bool m_mounted = false;
    bool m_stalled = false;
};
