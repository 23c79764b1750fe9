// The application object of a single-instance program. The first instance owns a
// shared-memory segment of 5000 bytes under the application key and polls it every
// 200 ms; a second start writes its file names into it (UTF-8, joined with "$") and ends.
//
// A shared-memory segment outlives a crashed process on Linux, so the segment alone
// cannot say whether a first instance lives. The first instance therefore also holds an
// advisory lock on a lock file named after the key; the kernel drops that lock when the
// process ends, however it ends. A start that gets the lock is the first instance: an
// orphaned segment left by a crash is attached and released, then created anew.
#pragma once

#include <QApplication>
#include <QSharedMemory>
#include <QString>
#include <QStringList>

class SingleApplication : public QApplication {
    Q_OBJECT

  public:
    static constexpr int kSegmentSize = 5000;

    SingleApplication(int& argc, char** argv, const QString& key);
    ~SingleApplication() override;

    // True when another instance owns the segment.
    bool isRunning() const { return alreadyRunning_ != 0; }
    // Writes the file names for the running instance (nothing for an empty list). The
    // text is cut at the segment's size. False when no segment is attached.
    bool sendMessage(const QStringList& files);

    // The lock file that tells a live first instance from an orphaned segment.
    static QString lockFilePath(const QString& key);

  signals:
    void messageAvailable(QStringList message);

  public slots:
    void checkForMessage();

  private:
    bool acquireInstanceLock(const QString& key);
    void clearSegment();

    QSharedMemory sharedMemory_;
    char alreadyRunning_ = 0;
    int lockFd_ = -1;
    bool handling_ = false;
};
