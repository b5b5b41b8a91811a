#include "service/web/BannerImage.h"

#include <QFile>

namespace BannerImage {

QByteArray png()
{
    // A gold ring with a "V" on the banner's blue, kept as a resource.
    QFile file(QStringLiteral(":/service/banner.png"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace BannerImage
