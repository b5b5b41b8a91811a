#pragma once

#include <QFont>
#include <QRect>
#include <QString>

namespace platform {

// a * b / c rounded half away from zero, as the Windows MulDiv does; -1 when c is 0 or the
// result does not fit.
int MulDiv(int a, int b, int c);

// The family every template font falls back to when the system lacks it:
// Windows dialog fonts ("MS Shell Dlg", "宋体") are absent here, and the texts are Chinese.
QString fallbackFontFamily();

// The family used for a template's font: the font itself when the system has it, else
// the installed face closest to it in metrics, else fallbackFontFamily().
QString substituteFamily(const QString &family);

// The font a template names, sized in pixels at 96 dpi like a Windows LOGFONT.
QFont dialogFont(const QString &family, int pointSize);

// The program's pixel widths (list columns) were chosen for 宋体, whose narrow
// characters are half its pixel size wide and its Chinese ones the full size.
// How much wider the font in use writes digits, punctuation and Chinese text
// than that, the widest kind deciding; at least 1.
double simSunWidthRatio(const QFont &font);
// A width chosen for 宋体, scaled to the font in use by simSunWidthRatio().
int scaledToFont(int simSunPixels, const QFont &font);

// Dialog base units of a font, computed as the Windows dialog manager does: the average
// character width of "A..Za..z" and the character height.
struct DialogUnits {
    int baseX = 0; // average character width in pixels
    int baseY = 0; // character height in pixels

    static DialogUnits fromFont(const QFont &font);

    int toPixelsX(int du) const { return MulDiv(du, baseX, 4); }
    int toPixelsY(int du) const { return MulDiv(du, baseY, 8); }
    // Position and size are converted independently, as controls of a template are.
    QRect toPixels(const QRect &du) const
    {
        return QRect(toPixelsX(du.x()), toPixelsY(du.y()), toPixelsX(du.width()), toPixelsY(du.height()));
    }
    QSize toPixels(const QSize &du) const { return QSize(toPixelsX(du.width()), toPixelsY(du.height())); }
};

} // namespace platform
