#pragma once

#include <cstdio>
#include <memory>
#include <variant>
#include <vector>

#include <QByteArray>
#include <QString>

namespace cli {

// One output column: its key (JSON member, CSV header) and its table title.
struct Column {
    QString key;
    QString title;
};
// Text, or a number that JSON writes bare.
using Cell = std::variant<QString, qint64>;
using Row = std::vector<Cell>;

enum class Format { Table, Json, Csv };

// Writes rows as they come, in UTF-8: an aligned table for people, one JSON
// array or CSV for scripts. Nothing is held back longer than until flush(),
// so a long search streams out page by page in constant memory.
class RowWriter {
public:
    static std::unique_ptr<RowWriter> create(Format format, std::FILE *out, std::vector<Column> columns);
    virtual ~RowWriter() = default;

    virtual void row(const Row &cells) = 0;
    // A page is complete: whatever is held goes out now.
    virtual void flush() = 0;
    // The last row was written.
    virtual void finish() = 0;

protected:
    RowWriter(std::FILE *out, std::vector<Column> columns) : out(out), columns(std::move(columns)) {}
    void write(const QByteArray &bytes);

    std::FILE *out;
    const std::vector<Column> columns;
};

QString cellText(const Cell &cell);
// {"key":value,...} in column order, on one line.
QByteArray jsonObject(const std::vector<Column> &columns, const Row &cells);
QByteArray jsonString(const QString &text);

} // namespace cli
