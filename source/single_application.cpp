#include "single_application.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QThread>
#include <QTimer>
#include <cstring>

QString SingleApplication::lockFilePath(const QString& key) {
    return QDir::tempPath() + "/" + key + "-" + QString::number(getuid()) + ".lock";
}

bool SingleApplication::acquireInstanceLock(const QString& key) {
    const QByteArray path = QFile::encodeName(lockFilePath(key));
    lockFd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) return true;  // no lock possible: decide by the segment alone
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return true;
    ::close(lockFd_);
    lockFd_ = -1;
    return false;
}

SingleApplication::SingleApplication(int& argc, char** argv, const QString& key)
    : QApplication(argc, argv) {
    sharedMemory_.setKey(key);
    const bool first = acquireInstanceLock(key);
    if (first) {
        if (!sharedMemory_.create(kSegmentSize, QSharedMemory::ReadWrite) &&
            sharedMemory_.error() == QSharedMemory::AlreadyExists) {
            // An orphan of a crashed instance: attaching and detaching as its last user
            // releases it.
            if (sharedMemory_.attach(QSharedMemory::ReadWrite)) sharedMemory_.detach();
            sharedMemory_.create(kSegmentSize, QSharedMemory::ReadWrite);
        }
        if (sharedMemory_.isAttached()) clearSegment();
        alreadyRunning_ = 0;
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &SingleApplication::checkForMessage);
        timer->start(200);
        return;
    }
    // A live first instance holds the lock; it may still be creating its segment.
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (sharedMemory_.attach(QSharedMemory::ReadWrite)) break;
        QThread::msleep(50);
    }
    alreadyRunning_ = 1;
}

SingleApplication::~SingleApplication() {
    if (sharedMemory_.isAttached()) sharedMemory_.detach();
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
}

void SingleApplication::clearSegment() {
    sharedMemory_.lock();
    std::memset(sharedMemory_.data(), 0, static_cast<std::size_t>(sharedMemory_.size()));
    sharedMemory_.unlock();
}

bool SingleApplication::sendMessage(const QStringList& files) {
    if (files.isEmpty()) return true;
    if (!sharedMemory_.isAttached()) return false;
    const QByteArray text = files.join("$").toUtf8();
    sharedMemory_.lock();
    const int size = sharedMemory_.size();
    const int n = std::min(text.size(), size);
    char* data = static_cast<char*>(sharedMemory_.data());
    std::memcpy(data, text.constData(), static_cast<std::size_t>(n));
    // A shorter message than the last unread one must not keep that one's tail.
    if (n < size) data[n] = '\0';
    sharedMemory_.unlock();
    return true;
}

void SingleApplication::checkForMessage() {
    // The receiver loads files behind a progress dialog that processes events, so this
    // slot can be re-entered; a message that arrives meanwhile waits in the segment.
    if (!sharedMemory_.isAttached() || handling_) return;
    sharedMemory_.lock();
    const char* data = static_cast<const char*>(sharedMemory_.constData());
    const int size = sharedMemory_.size();
    const int length = static_cast<int>(strnlen(data, static_cast<std::size_t>(size)));
    const QString text = QString::fromUtf8(data, length);
    if (!text.isEmpty()) std::memset(sharedMemory_.data(), 0, static_cast<std::size_t>(size));
    // The lock is not held while the receiver runs: it pumps events, and the segment's
    // lock is not recursive.
    sharedMemory_.unlock();
    if (text.isEmpty()) return;
    handling_ = true;
    emit messageAvailable(text.split("$", Qt::KeepEmptyParts, Qt::CaseSensitive));
    handling_ = false;
}
