#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;

// Shows any text as a QR code (error correction L, 8-bit mode), scaled
// without smoothing to the width of its image label. Used for the Wi-Fi set-up
// code and for the UID of a device found by LAN search. GUI thread only.
class QRWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int QuietZone = 4; // modules of white around the code

    explicit QRWindow(QWidget *parent = nullptr);

    // Renders text; a text that cannot be encoded keeps the previous picture.
    void showText(const QString &text, bool caseSensitive);
    // The UID of LAN search result `row`, when there is such a row.
    void showSearchResult(int row);
    // Covers the whole of the parent widget.
    void fitToParent();

    QPixmap pixmap() const { return m_pixmap; }
    // The code, one pixel per module, with its quiet zone (null before the first code).
    QImage codeImage() const { return m_code; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showScaled();

    QLabel *m_image;
    QImage m_code;
    QPixmap m_pixmap;
};
