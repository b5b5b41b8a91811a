#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The client's small text files: UTF-16LE after the byte-order mark FF FE,
// lines ending in CR LF. Opening for writing makes sure a new file starts
// with the mark; opening for reading skips it; ReadLine reads line by line
// through a buffer of its own. Writing is raw bytes: WriteLine, or Write of
// UTF-16LE bytes.
class FileStream {
public:
    // Open modes; combine one access with the creation flags.
    enum OpenFlag : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,     // create a missing file; truncate unless modeNoTruncate
        modeNoTruncate = 0x2000, // with modeCreate: keep the contents of an existing file
    };

    FileStream() = default;
    // Open() right away; check isOpen().
    FileStream(const QString &path, unsigned mode);

    FileStream(const FileStream &) = delete;
    FileStream &operator=(const FileStream &) = delete;

    bool Open(const QString &path, unsigned mode);
    bool isOpen() const { return file.isOpen(); }
    void Close();

    // The next line without its LF and without any CR. False at the end of
    // the file when no text is left; a last line without LF still comes.
    bool ReadLine(QString &line);
    // The same, keeping at most maxUnits UTF-16 units of the line; the rest
    // of a longer line is read and dropped, so no line is ever held whole.
    bool ReadLine(QString &line, qsizetype maxUnits);

    bool Write(const QByteArray &bytes);
    // The text's UTF-16LE bytes and CR LF.
    bool WriteLine(const QString &text);

    bool Seek(qint64 position);
    bool SeekToEnd();
    qint64 GetLength() const { return file.size(); }
    bool Flush() { return file.flush(); }
    // Flush() and then hand the bytes to the disk (fsync); false when either fails.
    bool Sync();

private:
    bool openFile(const QString &path, unsigned mode);
    void applyMarkRule(unsigned mode);
    void dropBuffer();
    // Takes buffered units into `line` (while it is shorter than maxUnits)
    // up to an LF; true when one was found.
    bool consumeBuffer(QString &line, qsizetype maxUnits);

    static constexpr int kChunkBytes = 1024;

    QFile file;
    int bufferedUnits = 0;
    int readPosition = 0;
    char16_t readBuffer[kChunkBytes / 2] = {};
};
