#include "res/Resources.h"

namespace res {

QString LoadResString(int id)
{
    switch (id) {
    case AboutMenuString:
        return QStringLiteral("关于 Kestrel(&A)...");
    default:
        return QString();
    }
}

} // namespace res
