#pragma once

#include <array>
#include <functional>
#include <memory>

#include <QCursor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QWidget>

// One periodic timer of the pop-up. The pop-up makes its timers through a factory so
// that tests can run them on a virtual clock.
class PopupTimer {
public:
    virtual ~PopupTimer() = default;
    virtual void start(int periodMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};
using PopupTimerFactory = std::function<std::unique_ptr<PopupTimer>(std::function<void()> fire)>;

// The skinned pop-up in the corner of the work area that tells the user which monitored
// addresses have new ads. It stays on top without a task-bar entry, pauses its countdown
// while the pointer is over it, slides out of sight after ten seconds and frees itself.
// Create it with new; from then on it is responsible for itself.
class CMsgWindow : public QWidget {
    Q_OBJECT
public:
    enum Item { CloseItem = 0, ViewItem = 1, HeadlineItem = 2, BodyItem = 3, ItemCount = 4 };
    static constexpr int kWidth = 250;
    static constexpr int kHeight = 180;
    static constexpr int kCountdownMs = 10'000;
    static constexpr int kSlideStepMs = 20;
    static constexpr int kSlidePixels = 4;

    // Headline colours of items 2 and 3.
    static const QColor HotTextColor;
    static const QColor TextColor;

    // Unset factory: QTimer.
    explicit CMsgWindow(PopupTimerFactory timers = {});
    ~CMsgWindow() override;

    // The skin bitmap (150 x 100, magenta transparent); a null image leaves the window unskinned.
    void SetSkin(const QImage &skin);
    // Makes the window and its items; false when it was made before.
    bool CreatePopup(QWidget *parent);
    // Headline and body text, and the addresses handed to the parent on a click; false
    // before CreatePopup.
    bool SetMessage(const QString &text, const QStringList &urls);
    // Moves the window, keeping its size, so that its lower right corner is that of the area.
    void placeAtCorner(const QRect &workArea);

    // Receives urlList when the view button, the headline or the body is clicked.
    void setShowChangedHandler(std::function<void(const QStringList &)> handler)
    {
        showChanged = std::move(handler);
    }
    // Where the work area is read on every slide step. Unset: the parent's screen.
    void setWorkAreaSource(std::function<QRect()> source) { workAreaSource = std::move(source); }

    // State, for the creator and for tests.
    const QImage &backBuffer() const { return buffer; }
    int hotItem() const { return hot; }
    int pressedItem() const { return pressed; }
    bool autoClose() const { return autoCloseOn; }
    bool closing() const { return closingOn; }
    bool countdownRunning() const;
    bool slideRunning() const;
    int slideHeight() const { return height; }
    const QStringList &urlList() const { return urls; }
    QString itemText(int index) const;
    QRect itemRect(int index) const;
    // Renders into the back buffer and, when the window is visible, repaints it.
    void Refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct PopupItem {
        QString text;
        int index = -1;
        QRect rect;
    };

    void render();
    void drawFrame(QPainter &painter);
    int hitTest(const QPoint &pos) const;
    void setHotItem(int item);
    void onItemClicked(int item);
    void onCountdown();
    void onSlideStep();
    QRect currentWorkArea() const;

    QImage skin;       // opaque copy for the stretched pieces
    QImage skinMasked; // magenta made transparent, for the corners
    QImage buffer;
    QFont normalFont;
    QFont boldFont;
    QColor titleColor = Qt::black;
    QCursor arrowCursor{Qt::ArrowCursor};
    QCursor handCursor{Qt::PointingHandCursor};
    QImage programIcon;
    std::array<PopupItem, ItemCount> items;
    bool created = false;
    int hot = -1;
    int pressed = -1;
    QPointer<QWidget> parentWindow;
    QStringList urls;
    bool autoCloseOn = false;
    bool closingOn = false;
    int height = kHeight;
    int width = kWidth;
    std::unique_ptr<PopupTimer> countdown;
    std::unique_ptr<PopupTimer> slide;
    std::function<void(const QStringList &)> showChanged;
    std::function<QRect()> workAreaSource;
};
