// The text-file reader. Properties: the lines read are those of a plain
// reading of the bytes (mark skipped, UTF-16LE units split at LF, CR
// dropped, an odd last byte ignored), a limit keeps each line's start, and
// lines written with WriteLine read back as themselves.
#include <cstdint>
#include <limits>

#include <QString>
#include <QStringList>

#include "account/FileStream.h"
#include "fuzz/FuzzSupport.h"

namespace {

using FuzzSupport::require;

QStringList expectedLines(const uint8_t *data, size_t size)
{
    // Whatever starts with FF is taken as marked, as long as two bytes are there.
    const size_t start = size >= 2 && data[0] == 0xFF ? 2 : 0;
    QStringList lines;
    QString line;
    bool open = false; // units seen since the last LF, CR included
    for (size_t i = start; i + 1 < size; i += 2) {
        const char16_t unit = char16_t(data[i] | data[i + 1] << 8);
        if (unit == u'\n') {
            lines.append(line);
            line.clear();
            open = false;
        } else {
            open = true;
            if (unit != u'\r')
                line += QChar(unit);
        }
    }
    // A last line without LF still comes, unless nothing but CRs is left of it.
    if (open && !line.isEmpty())
        lines.append(line);
    return lines;
}

QStringList readLines(const QString &path, qsizetype maxUnits)
{
    FileStream file(path, FileStream::modeRead);
    require(file.isOpen(), "the file opens for reading");
    QStringList lines;
    QString line;
    while (file.ReadLine(line, maxUnits))
        lines.append(line);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString input = FuzzSupport::scratchDir() + QStringLiteral("input.txt");
    static const QString copy = FuzzSupport::scratchDir() + QStringLiteral("copy.txt");
    FuzzSupport::writeFile(input, data, size);

    const QStringList expected = expectedLines(data, size);
    const QStringList lines = readLines(input, std::numeric_limits<qsizetype>::max());
    require(lines == expected, "lines as a plain reading gives them");

    const qsizetype limit = 1 + qsizetype(size % 7);
    const QStringList cut = readLines(input, limit);
    require(cut.size() == lines.size(), "a limit keeps every line");
    for (qsizetype i = 0; i < cut.size(); ++i)
        require(cut[i] == lines[i].left(limit), "a limit keeps a line's start");

    {
        FileStream out(copy, FileStream::modeCreate | FileStream::modeWrite);
        require(out.isOpen(), "the copy opens for writing");
        for (const QString &line : lines)
            require(out.WriteLine(line), "a line is written");
    }
    require(readLines(copy, std::numeric_limits<qsizetype>::max()) == lines, "written lines read back");
    return 0;
}
