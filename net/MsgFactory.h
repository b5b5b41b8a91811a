#pragma once

#include <map>
#include <memory>
#include <vector>

#include "net/MsgHeader.h"

// Type id to a fresh message object. Filled once during static initialisation
// and only read afterwards (by the connection worker).
class MsgFactory {
public:
    using Creator = MsgHeader *(*)();

    static void Register(int type, Creator creator);
    // A new message object of the type's class, or null for an unassigned type.
    static MsgHeader *Create(int type);
    // Same, owned.
    static std::unique_ptr<MsgHeader> createOwned(int type)
    {
        return std::unique_ptr<MsgHeader>(Create(type));
    }
    // The registered type ids in registration order.
    static const std::vector<int> &registrationOrder();

private:
    static std::map<int, Creator> &table();
    static std::vector<int> &order();
};
