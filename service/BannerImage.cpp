#include "service/BannerImage.h"

#include <array>
#include <cstdlib>

#include <QtEndian>

namespace BannerImage {

namespace {

quint32 crc32(const QByteArray &bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray out(4, '\0');
    qToBigEndian(value, out.data());
    return out;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray typed = QByteArray(type, 4) + data;
    return bigEndian(quint32(data.size())) + typed + bigEndian(crc32(typed));
}

// Gold on the banner's blue: a ring with a "V" inside.
std::array<quint8, 3> pixel(int x, int y)
{
    const int cx = 2 * x + 1 - kSide, cy = 2 * y + 1 - kSide; // doubled offsets from the centre
    const int r2 = cx * cx + cy * cy;
    const bool ring = r2 >= 34 * 34 && r2 <= 39 * 39;
    const int half = std::abs(cx) / 2;
    const int vLine = (kSide - 10) - 2 * half; // the arms of the V meet at the bottom
    const bool vee = y >= 10 && y <= 30 && std::abs(y - vLine) <= 2 && half <= 10;
    if (ring || vee)
        return {0xFF, 0xD3, 0x4E};
    return {0x12, 0x35, 0x5B};
}

} // namespace

QByteArray png()
{
    QByteArray header;
    header += bigEndian(kSide);
    header += bigEndian(kSide);
    header += char(8); // bits per channel
    header += char(2); // true colour
    header += char(0); // deflate
    header += char(0); // adaptive filtering
    header += char(0); // not interlaced

    QByteArray raw;
    raw.reserve(kSide * (1 + 3 * kSide));
    for (int y = 0; y < kSide; ++y) {
        raw += char(0); // no filter on this row
        for (int x = 0; x < kSide; ++x)
            for (const quint8 channel : pixel(x, y))
                raw += char(channel);
    }
    // qCompress gives a zlib stream behind four bytes of length.
    const QByteArray deflated = qCompress(raw, 9).mid(4);

    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", deflated) +
           chunk("IEND", QByteArray());
}

} // namespace BannerImage
