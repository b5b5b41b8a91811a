#pragma once

#include <QString>

// Full path of the running executable.
QString executablePath();
// Its directory, ending in '/'.
QString executableDir();

// The host itself when it is made only of digits and dots (no lookup), else
// the first IPv4 address it resolves to as dotted text, or "" when the
// lookup fails or gives no IPv4 address. Blocks while the lookup runs.
QString ResolveHost(const QString &host);

// Name of the launcher placed on the desktop.
inline constexpr char16_t kShortcutName[] = u"Vorlant-\u9ad8\u9636\u7248";

// The launcher's contents for `executable`: it starts the executable in its
// own directory.
QString desktopEntryText(const QString &executable);

// Writes (or rewrites) a launcher "Vorlant-高阶版.desktop" for this executable
// into the user's desktop folder. Returns false without creating anything
// when the folder does not exist or the file cannot be written.
bool CreateDesktopShortcut();
bool CreateDesktopShortcut(const QString &desktopDir);
