#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include <QFile>
#include <QTemporaryDir>

namespace FuzzSupport {

void require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

std::vector<size_t> chunkSizes(const uint8_t *data, size_t size)
{
    // FNV-1a of the input seeds a xorshift generator.
    uint64_t state = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i)
        state = (state ^ data[i]) * 1099511628211ull;
    std::vector<size_t> sizes;
    size_t left = size;
    while (left > 0) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        // Mostly short pieces, where cuts inside headers and characters happen.
        const size_t limit = (state & 3) == 0 ? 64 : 8;
        const size_t piece = std::min(left, size_t(1 + (state >> 8) % limit));
        sizes.push_back(piece);
        left -= piece;
    }
    return sizes;
}

QString scratchDir()
{
    static QTemporaryDir dir;
    require(dir.isValid(), "a temporary directory can be made");
    return dir.path() + QLatin1Char('/');
}

void writeFile(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the scratch file opens");
    require(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size),
            "the scratch file takes the input");
}

} // namespace FuzzSupport
