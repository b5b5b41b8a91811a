#pragma once

#include <QString>

namespace cli {

// Terminal columns the text takes: East Asian wide and full-width characters
// count two, combining marks none, everything else one.
int displayWidth(const QString &text);

} // namespace cli
