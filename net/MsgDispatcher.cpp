#include "net/MsgDispatcher.h"

#include "net/MsgHeader.h"

std::map<int, MsgDispatcher::Entry> &MsgDispatcher::table()
{
    static std::map<int, Entry> handlers;
    return handlers;
}

void MsgDispatcher::removeIfSame(int type, const Entry &entry)
{
    auto &handlers = table();
    const auto it = handlers.find(type);
    if (it != handlers.end() && it->second.sameHandler(entry))
        handlers.erase(it);
}

void MsgDispatcher::Dispatch(ConnectSession *session, MsgHeader *msg)
{
    if (!msg)
        return;
    auto &handlers = table();
    const auto it = handlers.find(msg->type);
    if (it == handlers.end())
        return;
    // Copy: the handler may unsubscribe itself.
    const Entry entry = it->second;
    entry.thunk(entry, session, msg);
}

bool MsgDispatcher::hasHandler(int type)
{
    return table().count(type) != 0;
}

void MsgDispatcher::clear()
{
    table().clear();
}
