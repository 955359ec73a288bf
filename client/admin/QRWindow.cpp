#include "admin/QRWindow.h"

#include "link/DeviceLinks.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QStyleOption>

#include <qrencode.h>

#include <memory>

QRWindow::QRWindow(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("QRWindow"));
    resize(80, 80);
    auto *outer = new QGridLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QWidget(this);
    frame->setObjectName(QStringLiteral("widget"));
    frame->setStyleSheet(QStringLiteral("border:1px solid #ccc;\nborder-radius:4px"));
    outer->addWidget(frame);
    auto *inner = new QGridLayout(frame);
    inner->setContentsMargins(4, 4, 4, 4);
    m_image = new QLabel(frame);
    m_image->setObjectName(QStringLiteral("label_qrImage"));
    m_image->setStyleSheet(QStringLiteral("background-color:#ffffff;\nborder-radius:0;"));
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setMinimumSize(1, 1);
    inner->addWidget(m_image);
}

void QRWindow::showText(const QString &text, bool caseSensitive)
{
    // UTF-8 is what phones and cameras read from an 8-bit QR segment.
    const QByteArray bytes = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(bytes.constData(), 2, QR_ECLEVEL_L, QR_MODE_8, caseSensitive ? 1 : 0),
        &QRcode_free);
    if (!code || code->width <= 0)
        return;
    // One pixel per module, inside the four-module white margin that
    // scanners need to find the code.
    const int w = code->width;
    QImage image(w + 2 * QuietZone, w + 2 * QuietZone, QImage::Format_Indexed8);
    image.setColorTable({0xFFFFFFFFu, 0xFF000000u, 0xFF000000u});
    image.fill(0);
    for (int y = 0; y < w; ++y) {
        uchar *row = image.scanLine(y + QuietZone) + QuietZone;
        for (int x = 0; x < w; ++x)
            row[x] = (code->data[y * w + x] & 1) ? 1 : 0;
    }
    m_code = image;
    showScaled();
}

void QRWindow::showScaled()
{
    if (m_code.isNull())
        return;
    // Whole pixels per module when the label is large enough.
    const int room = qMax(1, qMin(m_image->width(), m_image->height()));
    const int side = room >= m_code.width() ? room / m_code.width() * m_code.width() : room;
    m_pixmap =
        QPixmap::fromImage(m_code.scaled(side, side, Qt::KeepAspectRatio, Qt::FastTransformation));
    m_image->setPixmap(m_pixmap);
}

void QRWindow::showSearchResult(int row)
{
    const QList<LanSearchResult> results = DeviceLinks::lanResults();
    if (row >= 0 && row < results.size())
        showText(results.at(row).uid, false);
}

void QRWindow::fitToParent()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
}

void QRWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showScaled();
}

void QRWindow::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
