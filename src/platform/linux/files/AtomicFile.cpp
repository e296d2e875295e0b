#include "platform/linux/files/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSaveFile>

std::string WriteFileAtomically(const std::string& path, std::string_view bytes) {
    // QSaveFile writes through links, creates its file unnamed (O_TMPFILE) or
    // exclusively under a random name, and flushes it before the rename.
    // Unbuffered: Qt 6.4 commits a buffered file whose last flush failed (a
    // full disk), replacing the old file with an empty one; unbuffered, the
    // failing write is seen and nothing is committed.
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    // A new file holds the user's settings or pictures: for the user alone.
    const bool fresh = !QFile::exists(file.fileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        (fresh && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) ||
        file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !file.commit()) {
        const std::string why = file.errorString().toStdString();
        file.cancelWriting();
        return why.empty() ? "cannot write " + path : why;
    }
    // The rename itself made durable; a failure here loses nothing written.
    const QByteArray folder = QFile::encodeName(QFileInfo(file.fileName()).canonicalPath());
    if (const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return {};
}
