#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/RowWriter.h"
#include "cli/TextWidth.h"

using namespace cli;

namespace {

struct WidthCase {
    const char *name;
    QString text;
    int width;
};

class DisplayWidth : public ::testing::TestWithParam<WidthCase> {};

TEST_P(DisplayWidth, CountsWideCharactersTwice)
{
    EXPECT_EQ(displayWidth(GetParam().text), GetParam().width);
}

INSTANTIATE_TEST_SUITE_P(Texts, DisplayWidth,
                         ::testing::Values(WidthCase{"Ascii", QStringLiteral("http://a.com"), 12},
                                           WidthCase{"Chinese", QStringLiteral("发布站"), 6},
                                           WidthCase{"Mixed", QStringLiteral("沙城1.76"), 8},
                                           WidthCase{"FullWidthPunctuation", QStringLiteral("！："), 4},
                                           WidthCase{"Hangul", QStringLiteral("한국"), 4},
                                           WidthCase{"CombiningMark", QStringLiteral("e\u0301"), 1},
                                           WidthCase{"BeyondTheBmp", QString::fromUcs4(U"\U00020000a"), 3},
                                           WidthCase{"Empty", QString(), 0}),
                         [](const auto &info) { return std::string(info.param.name); });

// What a writer puts out, read back from a memory stream.
class Captured {
public:
    Captured() : file(open_memstream(&buffer, &size)) {}
    ~Captured() { std::free(buffer); }
    std::FILE *stream() { return file; }
    QString text()
    {
        std::fclose(file);
        file = nullptr;
        return QString::fromUtf8(buffer, qsizetype(size));
    }

private:
    char *buffer = nullptr;
    size_t size = 0;
    std::FILE *file;
};

const std::vector<Column> kColumns = {{QStringLiteral("site"), QStringLiteral("发布站")},
                                      {QStringLiteral("ads"), QStringLiteral("ads")},
                                      {QStringLiteral("note"), QStringLiteral("备注")}};

TEST(RowWriter, TableAlignsByTerminalColumns)
{
    Captured out;
    auto writer = RowWriter::create(Format::Table, out.stream(), kColumns);
    writer->row({QStringLiteral("飞鹰发布站"), qint64(280), QStringLiteral("x")});
    writer->row({QStringLiteral("ab"), qint64(7), QStringLiteral("y")});
    writer->finish();
    EXPECT_EQ(out.text(), QStringLiteral("发布站      ads  备注\n"
                                         "飞鹰发布站  280  x\n"
                                         "ab          7    y\n"));
}

TEST(RowWriter, JsonKeepsColumnOrderNumbersBareAndEscapes)
{
    Captured out;
    auto writer = RowWriter::create(Format::Json, out.stream(), kColumns);
    writer->row({QStringLiteral("站\"1\""), qint64(-3), QStringLiteral("a\\b\n\x01")});
    writer->row({QString(), qint64(0), QString()});
    writer->finish();
    EXPECT_EQ(out.text(),
              QStringLiteral("[\n{\"site\":\"站\\\"1\\\"\",\"ads\":-3,\"note\":\"a\\\\b\\n\\u0001\"},\n"
                             "{\"site\":\"\",\"ads\":0,\"note\":\"\"}\n]\n"));
}

TEST(RowWriter, EmptyJsonIsAnEmptyArray)
{
    Captured out;
    RowWriter::create(Format::Json, out.stream(), kColumns)->finish();
    EXPECT_EQ(out.text(), QStringLiteral("[]\n"));
}

TEST(RowWriter, CsvQuotesOnlyWhatNeedsIt)
{
    Captured out;
    auto writer = RowWriter::create(Format::Csv, out.stream(), kColumns);
    writer->row({QStringLiteral("a,b"), qint64(1), QStringLiteral("say \"hi\"")});
    writer->row({QStringLiteral("plain"), qint64(2), QStringLiteral("two\nlines")});
    writer->finish();
    EXPECT_EQ(out.text(), QStringLiteral("site,ads,note\r\n\"a,b\",1,\"say \"\"hi\"\"\"\r\n"
                                         "plain,2,\"two\nlines\"\r\n"));
}

} // namespace
