#include "cli/RowWriter.h"

#include <algorithm>

#include "cli/TextWidth.h"

namespace cli {

namespace {

// Aligns columns on the rows of the first page (or the first kWidthRows rows):
// later rows keep those widths, so the table streams like the other formats;
// a later cell that is wider only pushes the rest of its own line right.
class TableWriter : public RowWriter {
public:
    static constexpr size_t kWidthRows = 500;

    TableWriter(std::FILE *out, std::vector<Column> columns) : RowWriter(out, std::move(columns))
    {
        Row header;
        for (const Column &column : this->columns)
            header.emplace_back(column.title);
        held.push_back(std::move(header));
    }

    void row(const Row &cells) override
    {
        if (!widths.empty()) {
            write(line(cells));
            return;
        }
        held.push_back(cells);
        if (held.size() > kWidthRows)
            flush();
    }

    void flush() override
    {
        if (widths.empty()) {
            widths.assign(columns.size(), 0);
            for (const Row &cells : held)
                for (size_t i = 0; i < cells.size() && i < widths.size(); ++i)
                    widths[i] = std::max(widths[i], displayWidth(cellText(cells[i])));
            for (const Row &cells : held)
                write(line(cells));
            held.clear();
        }
        std::fflush(out);
    }

    void finish() override { flush(); }

private:
    QByteArray line(const Row &cells) const
    {
        QString text;
        for (size_t i = 0; i < cells.size(); ++i) {
            const QString cell = cellText(cells[i]);
            text += cell;
            if (i + 1 < cells.size())
                text += QString(std::max(widths[i] - displayWidth(cell), 0) + 2, u' ');
        }
        text += u'\n';
        return text.toUtf8();
    }

    std::vector<Row> held;
    std::vector<int> widths;
};

// One JSON array of objects, written an object at a time.
class JsonWriter : public RowWriter {
public:
    JsonWriter(std::FILE *out, std::vector<Column> columns) : RowWriter(out, std::move(columns)) {}

    void row(const Row &cells) override
    {
        write((first ? QByteArrayLiteral("[\n") : QByteArrayLiteral(",\n")) + jsonObject(columns, cells));
        first = false;
    }
    void flush() override { std::fflush(out); }
    void finish() override
    {
        write(first ? QByteArrayLiteral("[]\n") : QByteArrayLiteral("\n]\n"));
        std::fflush(out);
    }

private:
    bool first = true;
};

// RFC 4180 fields: quoted when they hold a comma, a quote or a line break.
class CsvWriter : public RowWriter {
public:
    CsvWriter(std::FILE *out, std::vector<Column> columns) : RowWriter(out, std::move(columns))
    {
        Row header;
        for (const Column &column : this->columns)
            header.emplace_back(column.key);
        row(header);
    }

    void row(const Row &cells) override
    {
        QString text;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i > 0)
                text += u',';
            QString cell = cellText(cells[i]);
            if (cell.contains(u',') || cell.contains(u'"') || cell.contains(u'\n') || cell.contains(u'\r'))
                cell = u'"' + cell.replace(u'"', QStringLiteral("\"\"")) + u'"';
            text += cell;
        }
        text += QStringLiteral("\r\n");
        write(text.toUtf8());
    }
    void flush() override { std::fflush(out); }
    void finish() override { std::fflush(out); }
};

} // namespace

std::unique_ptr<RowWriter> RowWriter::create(Format format, std::FILE *out, std::vector<Column> columns)
{
    switch (format) {
    case Format::Json:
        return std::make_unique<JsonWriter>(out, std::move(columns));
    case Format::Csv:
        return std::make_unique<CsvWriter>(out, std::move(columns));
    case Format::Table:
        break;
    }
    return std::make_unique<TableWriter>(out, std::move(columns));
}

void RowWriter::write(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

QString cellText(const Cell &cell)
{
    if (const auto *number = std::get_if<qint64>(&cell))
        return QString::number(*number);
    return std::get<QString>(cell);
}

QByteArray jsonString(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char byte : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += byte;
            }
        }
    }
    out += '"';
    return out;
}

QByteArray jsonObject(const std::vector<Column> &columns, const Row &cells)
{
    QByteArray out = "{";
    for (size_t i = 0; i < columns.size() && i < cells.size(); ++i) {
        if (i > 0)
            out += ',';
        out += jsonString(columns[i].key);
        out += ':';
        if (const auto *number = std::get_if<qint64>(&cells[i]))
            out += QByteArray::number(*number);
        else
            out += jsonString(std::get<QString>(cells[i]));
    }
    out += '}';
    return out;
}

} // namespace cli
