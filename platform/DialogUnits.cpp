#include "platform/DialogUnits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace platform {

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const std::int64_t product = std::int64_t(a) * b;
    const std::int64_t half = std::llabs(c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const std::int64_t magnitude = (std::llabs(product) + half) / std::llabs(c);
    if (magnitude > std::numeric_limits<int>::max())
        return -1;
    return int(negative ? -magnitude : magnitude);
}

QString FallbackFontFamily()
{
    return QStringLiteral("Noto Sans CJK SC");
}

QFont DialogFont(const QString &family, int pointSize)
{
    QFont font;
    if (!family.isEmpty() && QFontDatabase::hasFamily(family))
        font.setFamilies(QStringList{family, FallbackFontFamily()});
    else
        font.setFamilies(QStringList{FallbackFontFamily()});
    font.setPixelSize(MulDiv(pointSize > 0 ? pointSize : 8, 96, 72));
    return font;
}

DialogUnits DialogUnits::fromFont(const QFont &font)
{
    const QFontMetrics metrics(font);
    const int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits units;
    units.baseX = (width / 26 + 1) / 2;
    units.baseY = metrics.height();
    return units;
}

} // namespace platform
