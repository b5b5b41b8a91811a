#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QSet>
#include <QTextBrowser>
#include <QUrl>

#include "platform/Services.h"

class QNetworkAccessManager;
class QNetworkReply;

// The banner area of the main window: the page the service chose for this account. The
// window knows only this, so another engine can stand behind it without touching the window.
class IBanner {
public:
    virtual ~IBanner() = default;
    virtual QWidget &widget() = 0;
    // Shows the page at the address. An address that is not http(s) empties the banner,
    // fetches nothing and gives false.
    virtual bool navigate(const QString &address) = 0;
};

// Makes the banner of a window; `services` gives the window's current platform services.
using BannerFactory =
    std::function<std::unique_ptr<IBanner>(QWidget *parent, std::function<platform::Services()> services)>;

// The banner as rich text. The page and its images come through the network manager,
// asynchronously, each under a time limit and a size cap; only http(s) is fetched, local
// files never, and rich text runs no scripts. Nothing goes out before the widget is first
// shown: until then the latest address waits. A link opens in the user's browser only when
// the user clicks it, and only an http(s) link.
class TextBanner final : public QTextBrowser, public IBanner {
    Q_OBJECT
public:
    struct Limits {
        std::chrono::milliseconds timeout{15'000};
        qint64 maxBytes = 2 * 1024 * 1024; // the page, and each image
        int maxImages = 16;
    };

    explicit TextBanner(std::function<platform::Services()> services, QWidget *parent = nullptr);
    TextBanner(std::function<platform::Services()> services, Limits limits, QWidget *parent = nullptr);
    ~TextBanner() override;

    QWidget &widget() override { return *this; }
    bool navigate(const QString &address) override;

    // The address of the page asked for last; empty when none or refused.
    const QUrl &address() const { return pageAddress; }
    // Fetches started since construction, pages and images.
    int fetchCount() const { return fetches; }
    bool hasImage(const QUrl &url) const { return images.count(url) != 0; }

    // An http(s) address from a value of the page or the service; empty otherwise.
    static QUrl webAddress(const QUrl &url);
    // Text of a body under the charset of its Content-Type, UTF-8 when it names none.
    static QString decodeBody(const QByteArray &body, const QByteArray &contentType);

signals:
    void pageShown(const QUrl &address);
    void imageShown(const QUrl &address);
    void pageFailed(const QUrl &address);

protected:
    QVariant loadResource(int type, const QUrl &name) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Fetch;
    QNetworkReply *get(const QUrl &url, std::function<void(QNetworkReply &, const QByteArray &)> done);
    void cancelFetches();
    void fetchPage();
    void fetchImage(const QUrl &url);
    void showPage(const QString &html);
    void onAnchorClicked(const QUrl &link);

    std::function<platform::Services()> services;
    Limits limits;
    QNetworkAccessManager *network;
    QUrl pageAddress;
    bool waitingForShow = false;
    QString pageHtml;
    std::map<QUrl, QImage> images;
    QSet<QUrl> imagesAsked;
    std::vector<QPointer<QNetworkReply>> inFlight;
    int fetches = 0;
};

// The banner the main window uses unless told otherwise.
std::unique_ptr<IBanner> makeTextBanner(QWidget *parent, std::function<platform::Services()> services);
