#pragma once

#include <algorithm>
#include <vector>

#include <QString>

// Ordinal order of UTF-16 code units: no locale, no case folding, no numbers.
// 'B' < 'a', "10" < "9", a proper prefix is smaller.
inline int compareOrdinal(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseSensitive);
}

// Rows of a virtual list, read cell by cell. The list owns no data.
class ICtrlData {
public:
    virtual int GetCount() const = 0;
    virtual int GetColumnCount() const = 0;
    // Valid until the rows change.
    virtual const QString &GetText(int row, int column) const = 0;
    // Reorders the rows by the texts of one column.
    virtual void Sort(int column, bool descending) = 0;

protected:
    ~ICtrlData() = default;
};

// Adapter over a vector of records held by someone else; each column shows one
// text member of T.
template <class T> class CtrlData final : public ICtrlData {
public:
    using Column = QString T::*;

    CtrlData(std::vector<T> *rows, std::vector<Column> columnMap)
        : columnMap(std::move(columnMap)), rows(rows)
    {
    }

    int GetCount() const override { return rows ? int(rows->size()) : 0; }
    int GetColumnCount() const override { return int(columnMap.size()); }

    const QString &GetText(int row, int column) const override
    {
        static const QString empty;
        if (!rows || row < 0 || row >= GetCount() || column < 0 || column >= GetColumnCount())
            return empty;
        return (*rows)[size_t(row)].*columnMap[size_t(column)];
    }

    void Sort(int column, bool descending) override
    {
        sortColumn = column;
        sortDescending = descending;
        if (!rows || column < 0 || column >= GetColumnCount())
            return;
        const Column key = columnMap[size_t(column)];
        if (descending)
            std::sort(rows->begin(), rows->end(),
                      [key](const T &a, const T &b) { return compareOrdinal(a.*key, b.*key) > 0; });
        else
            std::sort(rows->begin(), rows->end(),
                      [key](const T &a, const T &b) { return compareOrdinal(a.*key, b.*key) < 0; });
    }

    void setRows(std::vector<T> *newRows) { rows = newRows; }

    const std::vector<Column> columnMap;
    int sortColumn = -1;
    bool sortDescending = false;

private:
    std::vector<T> *rows;
};
