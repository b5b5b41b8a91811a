#pragma once

#include <array>
#include <cstring>
#include <map>
#include <type_traits>
#include <typeindex>

#include "net/MsgHeader.h"

class ConnectSession;

// Type id to one handler; GUI thread only. A handler is a target object with a
// member function, or a free function (null target).
class MsgDispatcher {
public:
    using FreeHandler = void (*)(ConnectSession *, MsgHeader *);

    template <class T> using MemberHandler = void (T::*)(ConnectSession *, MsgHeader *);

    // Sets the type's handler; the last subscriber wins.
    template <class T> static void Subscribe(int type, T *object, MemberHandler<T> function)
    {
        table()[type] = makeEntry(object, function);
    }
    static void Subscribe(int type, FreeHandler function) { table()[type] = makeEntry(function); }

    // Removes the type's handler only when it still names this object and function.
    template <class T> static void Unsubscribe(int type, T *object, MemberHandler<T> function)
    {
        removeIfSame(type, makeEntry(object, function));
    }
    static void Unsubscribe(int type, FreeHandler function) { removeIfSame(type, makeEntry(function)); }

    // Typed form: the handler takes its own message class (an MsgWithBody or
    // MsgHeaderOnly, whose kType names the type id). The downcast happens here
    // and nowhere else; the same rules as above apply, and a typed handler is
    // a different handler from any untyped one.
    template <class Msg, class T> using TypedHandler = void (T::*)(ConnectSession *, Msg &);

    template <class Msg, class T> static void Subscribe(T *object, TypedHandler<Msg, T> function)
    {
        table()[Msg::kType] = makeTypedEntry(object, function);
    }
    template <class Msg, class T> static void Unsubscribe(T *object, TypedHandler<Msg, T> function)
    {
        removeIfSame(Msg::kType, makeTypedEntry(object, function));
    }

    // Calls the handler of msg's type, if any. Never deletes msg.
    static void Dispatch(ConnectSession *session, MsgHeader *msg);

    static bool hasHandler(int type);
    // Drops every handler (for tests that start from a clean table).
    static void clear();

private:
    static constexpr size_t kKeySize = 2 * sizeof(void *);

    struct Entry {
        void *target = nullptr;
        // Identity of the function: its type plus its bytes, so that member
        // pointers of different classes never compare equal by accident.
        std::type_index functionType = typeid(void);
        std::array<unsigned char, kKeySize> functionKey{};
        void (*thunk)(const Entry &, ConnectSession *, MsgHeader *) = nullptr;
        bool sameHandler(const Entry &other) const
        {
            return target == other.target && functionType == other.functionType &&
                   functionKey == other.functionKey;
        }
    };

    template <class F> static void storeKey(Entry &entry, F function)
    {
        static_assert(sizeof(F) <= kKeySize, "function pointer too large");
        std::memcpy(entry.functionKey.data(), &function, sizeof(F));
        entry.functionType = typeid(F);
    }

    template <class T> static Entry makeEntry(T *object, MemberHandler<T> function)
    {
        Entry entry;
        entry.target = object;
        storeKey(entry, function);
        entry.thunk = [](const Entry &self, ConnectSession *session, MsgHeader *msg) {
            MemberHandler<T> fn;
            std::memcpy(&fn, self.functionKey.data(), sizeof(fn));
            (static_cast<T *>(self.target)->*fn)(session, msg);
        };
        return entry;
    }

    template <class Msg, class T> static Entry makeTypedEntry(T *object, TypedHandler<Msg, T> function)
    {
        static_assert(std::is_base_of_v<MsgHeader, Msg>, "a typed handler takes a message class");
        Entry entry;
        entry.target = object;
        storeKey(entry, function);
        entry.thunk = [](const Entry &self, ConnectSession *session, MsgHeader *msg) {
            TypedHandler<Msg, T> fn;
            std::memcpy(&fn, self.functionKey.data(), sizeof(fn));
            // The factory makes exactly Msg for Msg::kType; anything else
            // carrying that id (a bare header, say) is not this handler's.
            if (auto *typed = dynamic_cast<Msg *>(msg))
                (static_cast<T *>(self.target)->*fn)(session, *typed);
        };
        return entry;
    }

    static Entry makeEntry(FreeHandler function)
    {
        Entry entry;
        storeKey(entry, function);
        entry.thunk = [](const Entry &self, ConnectSession *session, MsgHeader *msg) {
            FreeHandler fn;
            std::memcpy(&fn, self.functionKey.data(), sizeof(fn));
            fn(session, msg);
        };
        return entry;
    }

    static void removeIfSame(int type, const Entry &entry);
    static std::map<int, Entry> &table();
};
