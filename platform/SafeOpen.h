#pragma once

#include <optional>

#include <QString>
#include <QUrl>

namespace platform {

// What the shell may open for a text that came from the server or the user: only web
// addresses. "http(s)://..." is taken as it is, a bare host ("www.example.com/x") gets
// "http://" in front, and of several addresses joined with ';' the first one counts.
// Any other scheme (file:, javascript:, ftp:, ...), a local or relative path, or an
// address without a host gives nothing, so nothing is started.
std::optional<QUrl> safeOpenTarget(const QString &text);

} // namespace platform
