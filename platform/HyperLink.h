#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include "platform/Services.h"

namespace platform {

// A line of text drawn as a blue underlined link on the colour of its parent's top-left
// pixel; a click opens the link in the user's browser through the safe open (web addresses
// only). With an empty link a click does nothing.
class HyperLink : public QWidget {
    Q_OBJECT
public:
    explicit HyperLink(const QString &text = QString(), const QString &link = QString(),
                       QWidget *parent = nullptr);

    void setText(const QString &newText);
    const QString &text() const { return linkText; }
    void setLink(const QString &newLink) { link = newLink; }
    const QString &linkAddress() const { return link; }
    bool isHovering() const { return hovering; }
    const QFont &normalFont() const { return normal; }
    const QFont &hoverFont() const { return hover; }

    // The platform services used for the click; unset members come from currentServices().
    void setServices(const Services &replacement) { ownServices = replacement; }
    Services services() const { return ownServices.mergedWith(currentServices()); }

    QSize sizeHint() const override;

    static const QColor TextColour;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QColor parentBackground() const;

    QFont normal;
    QFont hover;
    bool hovering = false;
    bool tracking = false;
    QString linkText;
    QString link;
    Services ownServices;
};

} // namespace platform
