#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "account/FileStream.h"
#include "tests/support/AccountFiles.h"

using TestSupport::utf16le;

namespace {

const QByteArray kMark = TestSupport::kUtf16Mark;

} // namespace

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const char *name = "file.txt") const { return dir.filePath(name); }
    void put(const QByteArray &bytes, const char *name = "file.txt") const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray contents(const char *name = "file.txt") const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList readAll(const char *name = "file.txt") const
    {
        FileStream stream(path(name), FileStream::modeRead);
        EXPECT_TRUE(stream.isOpen());
        QStringList lines;
        QString line;
        while (stream.ReadLine(line))
            lines.append(line);
        EXPECT_TRUE(line.isEmpty()) << "a failed ReadLine leaves an empty line";
        return lines;
    }

    QTemporaryDir dir;
};

TEST_F(FileStreamTest, AppendModeCreatesAMarkedFile)
{
    const unsigned append = FileStream::modeCreate | FileStream::modeNoTruncate | FileStream::modeWrite;
    {
        FileStream stream(path(), append);
        ASSERT_TRUE(stream.isOpen());
    }
    EXPECT_EQ(contents(), kMark);

    // Reopening keeps the contents and does not repeat the mark.
    for (const QString &text : {QStringLiteral("one"), QStringLiteral("\u4e8c")}) {
        FileStream stream(path(), append);
        ASSERT_TRUE(stream.SeekToEnd());
        ASSERT_TRUE(stream.WriteLine(text));
    }
    EXPECT_EQ(contents(), kMark + utf16le("one\r\n\u4e8c\r\n"));
    EXPECT_EQ(readAll(), QStringList({"one", "\u4e8c"}));
}

TEST_F(FileStreamTest, CreateWithoutKeepTruncates)
{
    put(kMark + utf16le("old line\r\n"));
    {
        FileStream stream(path(), FileStream::modeCreate | FileStream::modeWrite);
        ASSERT_TRUE(stream.isOpen());
        stream.WriteLine("new");
    }
    EXPECT_EQ(contents(), kMark + utf16le("new\r\n"));
}

TEST_F(FileStreamTest, MissingFiles)
{
    FileStream reader;
    EXPECT_FALSE(reader.Open(path("none.txt"), FileStream::modeRead));
    EXPECT_FALSE(reader.Open(path("none.txt"), FileStream::modeWrite));
    EXPECT_FALSE(QFile::exists(path("none.txt")));

    // Reading a file that may not exist yet: it is created, empty and unmarked.
    ASSERT_TRUE(reader.Open(path("new.txt"), FileStream::modeCreate | FileStream::modeNoTruncate));
    QString line = "stale";
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_TRUE(line.isEmpty());
    EXPECT_EQ(contents("new.txt"), QByteArray());

    EXPECT_FALSE(reader.Open(dir.filePath("no/such/dir.txt"),
                             FileStream::modeCreate | FileStream::modeNoTruncate | FileStream::modeWrite));
}

TEST_F(FileStreamTest, WritingKeepsTheStartOfAnUnmarkedFile)
{
    put(utf16le("AB\r\n"));
    {
        FileStream stream(path(),
                          FileStream::modeCreate | FileStream::modeNoTruncate | FileStream::modeWrite);
        ASSERT_TRUE(stream.isOpen());
        stream.SeekToEnd();
        stream.WriteLine("C");
    }
    EXPECT_EQ(contents(), utf16le("AB\r\nC\r\n"));
    EXPECT_EQ(readAll(), QStringList({"AB", "C"}));
}

struct ReadCase {
    const char *name;
    QByteArray bytes;
    QStringList lines;
};

class ReadLines : public FileStreamTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadLines, SplitAtLineFeedsWithoutCarriageReturns)
{
    put(GetParam().bytes);
    EXPECT_EQ(readAll(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    FileStream, ReadLines,
    ::testing::Values(
        ReadCase{"Empty", {}, {}}, ReadCase{"MarkOnly", kMark, {}},
        ReadCase{"NoMark", utf16le("ab\r\ncd\r\n"), {"ab", "cd"}}, ReadCase{"OneByte", QByteArray("a"), {}},
        ReadCase{"FirstByteFFIsAMark", QByteArray("\xFF\x00", 2) + utf16le("x\n"), {"x"}},
        ReadCase{"LastLineWithoutEnd", kMark + utf16le("a\r\nlast"), {"a", "last"}},
        ReadCase{"LineEndVariants",
                 kMark + utf16le("crlf\r\nlf\ncrcrlf\r\r\nend"),
                 {"crlf", "lf", "crcrlf", "end"}},
        ReadCase{"LoneCarriageReturnDisappears", kMark + utf16le("a\rb\r\n"), {"ab"}},
        ReadCase{"EmptyLines", kMark + utf16le("a\r\n\r\n\nb\r\n"), {"a", "", "", "b"}},
        ReadCase{"OddTrailingByte", kMark + utf16le("a\n") + "z", {"a"}},
        ReadCase{"Chinese", kMark + utf16le("\u641c\u7d22\u8bb0\u5f55\r\n"), {"\u641c\u7d22\u8bb0\u5f55"}},
        ReadCase{"SixHundredCharacters",
                 kMark + utf16le(QString(600, u'x') + "\r\nnext\r\n"),
                 {QString(600, u'x'), "next"}},
        // The mark takes one unit of the first 512-unit chunk: this LF is the last unit of it.
        ReadCase{
            "LineEndAtChunkEnd", kMark + utf16le(QString(510, u'y') + "\n" + "z"), {QString(510, u'y'), "z"}},
        ReadCase{"CarriageReturnEndsAChunk",
                 kMark + utf16le(QString(510, u'y') + "\r\nz\n"),
                 {QString(510, u'y'), "z"}},
        ReadCase{"ManyChunks", kMark + utf16le(QString(3000, u'q') + "\n\n"), {QString(3000, u'q'), ""}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FileStreamTest, CappedReadKeepsTheStartOfALongLineAndGoesOnAfterIt)
{
    // 3000 units run over several 512-unit chunks; the cap falls inside the first.
    put(kMark + utf16le("short\r\n" + QString(100, u'a') + QString(2900, u'b') + "\r\nnext\r\n" +
                        QString(100, u'c') + "\r\r\r\n" + QString(150, u'd')));
    FileStream stream(path(), FileStream::modeRead);
    QStringList lines;
    QString line;
    while (stream.ReadLine(line, 100))
        lines.append(line);
    EXPECT_EQ(lines,
              QStringList({"short", QString(100, u'a'), "next", QString(100, u'c'), QString(100, u'd')}));
}

TEST_F(FileStreamTest, SeekDropsWhatWasBuffered)
{
    put(kMark + utf16le("first\r\nsecond\r\n"));
    FileStream stream(path(), FileStream::modeRead);
    QString line;
    ASSERT_TRUE(stream.ReadLine(line));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(stream.Seek(2));
    ASSERT_TRUE(stream.ReadLine(line));
    EXPECT_EQ(line, "first");
    EXPECT_EQ(stream.GetLength(), 2 + 2 * 15);
}
