#include "account/FileStream.h"

#include <limits>

#include <unistd.h>

namespace {

constexpr char kMark[] = {char(0xFF), char(0xFE)};

} // namespace

FileStream::FileStream(const QString &path, unsigned mode)
{
    Open(path, mode);
}

bool FileStream::Open(const QString &path, unsigned mode)
{
    Close();
    if (!openFile(path, mode))
        return false;
    applyMarkRule(mode);
    return true;
}

bool FileStream::openFile(const QString &path, unsigned mode)
{
    const unsigned access = mode & (modeWrite | modeReadWrite);
    const bool create = mode & modeCreate;
    const bool truncate = create && !(mode & modeNoTruncate);
    file.setFileName(path);

    QIODevice::OpenMode openMode;
    if (!create)
        openMode |= QIODevice::ExistingOnly;
    if (access == modeRead) {
        // Reading never creates a file in QFile; do it first when asked to.
        if (create && (truncate || !file.exists())) {
            QFile maker(path);
            if (!maker.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return false;
        }
        openMode |= QIODevice::ReadOnly;
    } else if (access == modeWrite && truncate) {
        openMode |= QIODevice::WriteOnly | QIODevice::Truncate;
    } else {
        // Write without truncation goes through read-write: QFile truncates
        // a write-only file, and the mark rule needs to look at the start.
        openMode |= QIODevice::ReadWrite;
        if (truncate)
            openMode |= QIODevice::Truncate;
    }
    return file.open(openMode);
}

void FileStream::applyMarkRule(unsigned mode)
{
    if ((mode & (modeWrite | modeReadWrite)) == modeWrite && file.size() == 0) {
        file.write(kMark, sizeof kMark);
        return;
    }
    // Whatever starts with FF is taken as marked. A file that is written to
    // without a mark keeps its first bytes: writing the mark over them would
    // destroy its first character.
    if (!file.isReadable())
        return;
    char head[2];
    if (file.read(head, 2) < 2 || head[0] != kMark[0])
        file.seek(0);
}

void FileStream::Close()
{
    if (file.isOpen())
        file.close();
    dropBuffer();
}

void FileStream::dropBuffer()
{
    bufferedUnits = 0;
    readPosition = 0;
}

bool FileStream::consumeBuffer(QString &line, qsizetype maxUnits)
{
    while (readPosition < bufferedUnits) {
        const char16_t unit = readBuffer[readPosition++];
        if (unit == u'\n')
            return true;
        if (unit != u'\r' && line.size() < maxUnits)
            line += QChar(unit);
    }
    return false;
}

bool FileStream::ReadLine(QString &line)
{
    return ReadLine(line, std::numeric_limits<qsizetype>::max());
}

bool FileStream::ReadLine(QString &line, qsizetype maxUnits)
{
    line.clear();
    if (consumeBuffer(line, maxUnits))
        return true;
    for (;;) {
        unsigned char chunk[kChunkBytes];
        const qint64 got = file.read(reinterpret_cast<char *>(chunk), kChunkBytes);
        if (got < 2) {
            dropBuffer();
            return !line.isEmpty();
        }
        bufferedUnits = int(got / 2);
        readPosition = 0;
        for (int i = 0; i < bufferedUnits; ++i)
            readBuffer[i] = char16_t(chunk[2 * i] | (chunk[2 * i + 1] << 8));
        if (consumeBuffer(line, maxUnits))
            return true;
    }
}

bool FileStream::Write(const QByteArray &bytes)
{
    dropBuffer();
    return file.write(bytes) == bytes.size();
}

bool FileStream::WriteLine(const QString &text)
{
    QByteArray bytes;
    bytes.reserve((text.size() + 2) * 2);
    for (const QChar c : text + QLatin1String("\r\n")) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return Write(bytes);
}

bool FileStream::Sync()
{
    return file.flush() && ::fsync(file.handle()) == 0;
}

bool FileStream::Seek(qint64 position)
{
    dropBuffer();
    return file.seek(position);
}

bool FileStream::SeekToEnd()
{
    return Seek(file.size());
}
