#include "app/Banner.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextDocument>

#include "webproto/WebText.h"

namespace {

bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QByteArray charsetOf(const QByteArray &contentType)
{
    for (const QByteArray &part : contentType.split(';')) {
        const QByteArray item = part.trimmed();
        if (item.toLower().startsWith("charset="))
            return item.mid(8).trimmed().replace('"', "").replace('\'', "").toLower();
    }
    return {};
}

} // namespace

TextBanner::TextBanner(std::function<platform::Services()> services, QWidget *parent)
    : TextBanner(std::move(services), Limits{}, parent)
{
}

TextBanner::TextBanner(std::function<platform::Services()> services, Limits limits, QWidget *parent)
    : QTextBrowser(parent), services(std::move(services)), limits(limits),
      network(new QNetworkAccessManager(this))
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setSearchPaths({});
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    network->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    connect(this, &QTextBrowser::anchorClicked, this, &TextBanner::onAnchorClicked);
}

TextBanner::~TextBanner()
{
    cancelFetches();
}

QUrl TextBanner::webAddress(const QUrl &url)
{
    if (!url.isValid() || !isWebScheme(url.scheme().toLower()) || url.host().isEmpty())
        return {};
    return url;
}

QString TextBanner::decodeBody(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray charset = charsetOf(contentType);
    if (charset == "gbk" || charset == "gb2312" || charset == "cp936" || charset == "x-gbk")
        return WebText::fromAnsi(body);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

bool TextBanner::navigate(const QString &address)
{
    cancelFetches();
    images.clear();
    imagesAsked.clear();
    pageHtml.clear();
    clear();
    pageAddress = webAddress(QUrl(address.trimmed()));
    if (pageAddress.isEmpty()) {
        waitingForShow = false;
        return false;
    }
    waitingForShow = !isVisible();
    if (!waitingForShow)
        fetchPage();
    return true;
}

void TextBanner::showEvent(QShowEvent *event)
{
    QTextBrowser::showEvent(event);
    if (waitingForShow) {
        waitingForShow = false;
        fetchPage();
    }
}

QNetworkReply *TextBanner::get(const QUrl &url, std::function<void(QNetworkReply &, const QByteArray &)> done)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(limits.timeout.count()));
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply *reply = network->get(request);
    ++fetches;
    inFlight.emplace_back(reply);
    // A redirect is followed only to another web address.
    connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl &target) {
        if (!webAddress(target).isEmpty())
            emit reply->redirectAllowed();
        else
            reply->abort();
    });
    auto body = std::make_shared<QByteArray>();
    auto tooBig = [this, reply, body] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        return body->size() > limits.maxBytes || (length.isValid() && length.toLongLong() > limits.maxBytes);
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooBig] {
        if (tooBig())
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body, tooBig] {
        body->append(reply->readAll());
        if (tooBig())
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, tooBig, done = std::move(done)] {
        reply->deleteLater();
        std::erase_if(inFlight,
                      [reply](const QPointer<QNetworkReply> &r) { return r == reply || r.isNull(); });
        if (reply->isOpen())
            body->append(reply->readAll());
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status != 200 || tooBig())
            done(*reply, QByteArray());
        else
            done(*reply, *body);
    });
    return reply;
}

void TextBanner::cancelFetches()
{
    std::vector<QPointer<QNetworkReply>> replies;
    replies.swap(inFlight);
    for (const QPointer<QNetworkReply> &reply : replies) {
        if (!reply)
            continue;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void TextBanner::fetchPage()
{
    const QUrl asked = pageAddress;
    get(asked, [this, asked](QNetworkReply &reply, const QByteArray &body) {
        if (asked != pageAddress)
            return;
        if (body.isEmpty()) {
            emit pageFailed(asked);
            return;
        }
        showPage(decodeBody(body, reply.header(QNetworkRequest::ContentTypeHeader).toByteArray()));
        emit pageShown(asked);
    });
}

void TextBanner::showPage(const QString &html)
{
    pageHtml = html;
    setHtml(pageHtml);
    verticalScrollBar()->setValue(0);
}

void TextBanner::fetchImage(const QUrl &url)
{
    if (imagesAsked.contains(url) || imagesAsked.size() >= limits.maxImages)
        return;
    imagesAsked.insert(url);
    const QUrl page = pageAddress;
    get(url, [this, url, page](QNetworkReply &, const QByteArray &body) {
        if (page != pageAddress)
            return;
        QImage image;
        if (body.isEmpty() || !image.loadFromData(body))
            return;
        images[url] = image;
        // The page is laid out again; this time the image is there.
        showPage(pageHtml);
        emit imageShown(url);
    });
}

QVariant TextBanner::loadResource(int type, const QUrl &name)
{
    // Only images of the page, only from the web; never a local file, never a style sheet.
    if (type != QTextDocument::ImageResource || pageAddress.isEmpty())
        return {};
    const QUrl url = webAddress(pageAddress.resolved(name));
    if (url.isEmpty())
        return {};
    const auto known = images.find(url);
    if (known != images.end())
        return known->second;
    // Asked while the page is being set: fetch once laid out.
    QMetaObject::invokeMethod(
        this,
        [this, url, page = pageAddress] {
            if (page == pageAddress)
                fetchImage(url);
        },
        Qt::QueuedConnection);
    return {};
}

void TextBanner::onAnchorClicked(const QUrl &link)
{
    const QUrl target = webAddress(pageAddress.resolved(link));
    if (!target.isEmpty())
        platform::shellOpen(services(), target.toString());
}

std::unique_ptr<IBanner> makeTextBanner(QWidget *parent, std::function<platform::Services()> services)
{
    return std::make_unique<TextBanner>(std::move(services), parent);
}
