#include "platform/DialogUnits.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>
#include <cmath>
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

QString fallbackFontFamily()
{
    return QStringLiteral("Noto Sans CJK SC");
}

QString substituteFamily(const QString &family)
{
    // Faces whose metrics come closest to the Windows ones, so that dialogs keep their
    // proportions: a Ming face for the Song faces, a compact sans for the dialog font.
    static const std::pair<const char16_t *, const char16_t *> substitutes[] = {
        {u"宋体", u"AR PL UMing CN"},
        {u"SimSun", u"AR PL UMing CN"},
        {u"新宋体", u"AR PL UMing CN"},
        {u"NSimSun", u"AR PL UMing CN"},
        {u"MS Shell Dlg", u"WenQuanYi Zen Hei"},
        {u"MS Shell Dlg 2", u"WenQuanYi Zen Hei"},
        {u"MS Sans Serif", u"WenQuanYi Zen Hei"},
        {u"Tahoma", u"WenQuanYi Zen Hei"},
    };
    if (!family.isEmpty() && QFontDatabase::hasFamily(family))
        return family;
    for (const auto &[windowsName, substitute] : substitutes) {
        if (family == QStringView(windowsName) && QFontDatabase::hasFamily(QString::fromUtf16(substitute)))
            return QString::fromUtf16(substitute);
    }
    return fallbackFontFamily();
}

QFont dialogFont(const QString &family, int pointSize)
{
    QFont font;
    const QString chosen = substituteFamily(family);
    if (chosen != fallbackFontFamily())
        font.setFamilies(QStringList{chosen, fallbackFontFamily()});
    else
        font.setFamilies(QStringList{fallbackFontFamily()});
    font.setPixelSize(MulDiv(pointSize > 0 ? pointSize : 8, 96, 72));
    return font;
}

double simSunWidthRatio(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const int pixels = QFontInfo(font).pixelSize();
    if (pixels <= 0)
        return 1.0;
    // What the program's lists show most: times, dates, addresses and Chinese names.
    const QString narrow = QStringLiteral("0123456789:/-.");
    const QString wide = QStringLiteral("开机时间当前配置发布站");
    const double narrowRatio = metrics.horizontalAdvance(narrow) / (narrow.size() * pixels / 2.0);
    const double wideRatio = metrics.horizontalAdvance(wide) / (wide.size() * double(pixels));
    return std::max({1.0, narrowRatio, wideRatio});
}

int scaledToFont(int simSunPixels, const QFont &font)
{
    return int(std::ceil(simSunPixels * simSunWidthRatio(font)));
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
