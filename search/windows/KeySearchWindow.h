#pragma once

#include <vector>

#include "net/message.pb.h"
#include "records/CtrlData.h"
#include "search/windows/SearchWindow.h"

// A search window whose result list shows one record type, whose pages count
// from 0 and whose request is a key and a page index: the redirect and the
// history searches. A subclass adds its columns and what a row opens.
template <class Row, class Request> class KeySearchWindow : public SearchWindow {
public:
    std::vector<Row> rows;
    CtrlData<Row> adapter;

protected:
    KeySearchWindow(int templateId, const SearchContext &context, SearchHistory history,
                    const std::vector<typename CtrlData<Row>::Column> &columns, QWidget *parent)
        : SearchWindow(templateId, context, history, SearchPager(0, false), parent), adapter(&rows, columns)
    {
    }

    void clearRows() override { rows.clear(); }
    qsizetype rowCount() const override { return qsizetype(rows.size()); }
    ICtrlData *resultData() override { return &adapter; }
    void sendRequest(const QString &key, int index) override
    {
        Request request;
        request.body.set_key(key.toStdString());
        request.body.set_index(index);
        send(request);
    }
    // An answer's records, appended in their order, and its total.
    template <class Records> void appendAnswer(const Records &records, qint32 count)
    {
        for (const auto &info : records)
            rows.push_back(Row::fromProto(info));
        answered(count);
    }
};
