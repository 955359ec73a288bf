#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// System information and the UI scale service.
//
// Scale: one factor (never below 1.0) by which widget sizes, fonts and
// style-sheet sizes are multiplied, and three base font sizes in pixels
// (small 10, normal 12, large 18). The scaling helpers work on style-sheet
// texts and geometry values; the template helpers apply them to any widget
// type without this library depending on Qt Widgets.
//
// Debug log: the message handler posts every message here; event() re-emits
// it as debugMsg() on the GUI thread and keeps the newest BacklogLimit page
// lines for a log page opened later.
//
// One instance, created on first use and moved to the application's thread.
// GUI thread, except instance() (any thread).
class SystemInfo : public QObject
{
    Q_OBJECT

public:
    enum SizeClass { Small = 0, Normal = 1, Large = 2 };
    static constexpr int BacklogLimit = 1000;
    static constexpr int UnlimitedSize = 5000; // sizes from here on are not scaled

    static SystemInfo *instance();

    QString version() const { return m_version; } // "1.7.1.209"
    // e.g. "Debian GNU/Linux 12 (bookworm) 64位"
    QString osDescription() const;
    // Graphics adapters, one per line; empty when none can be named.
    QString gpuDescription() const;

    double scale() const { return m_scale; }
    void setScale(double scale); // stores max(1.0, scale)
    // Scale suggested by the primary screen (logical DPI / 96, at least 1.0).
    static double screenScale();

    // Base size of the class times the scale, truncated.
    int fontSize(int sizeClass) const;
    int smallFontSize() const { return fontSize(Small); }
    int normalFontSize() const { return fontSize(Normal); }
    int largeFontSize() const { return fontSize(Large); }
    // v times the scale, truncated.
    int scaled(int v) const { return int(v * m_scale); }

    // Every "font-size:<n>px" of the sheet becomes the scaled size of the class.
    QString scaleFontSheet(const QString &sheet, int sizeClass) const;
    // Every "border-radius:<n>px" of the sheet becomes n times the scale.
    QString scaleRadiusSheet(const QString &sheet) const;
    // Font sizes to the normal size, and "微软雅黑" to "HELVETICA NEUE".
    QString scaleStyleSheet(const QString &sheet) const;
    // Maximum sizes are scaled below UnlimitedSize; minimum sizes always.
    QSize scaledMaximumSize(const QSize &size) const;
    QSize scaledMinimumSize(const QSize &size) const;
    // (x + xShift, y) times the scale.
    QPoint scaledPos(const QPoint &pos, int xShift = 0) const;

    // Widget helpers (W: any QWidget type).
    template <class W> void scaleFont(W *w, int sizeClass) const
    {
        w->setStyleSheet(scaleFontSheet(w->styleSheet(), sizeClass));
    }
    template <class W> void scaleRadius(W *w) const
    {
        w->setStyleSheet(scaleRadiusSheet(w->styleSheet()));
    }
    template <class W> void scaleSizeLimits(W *w) const
    {
        w->setMaximumSize(scaledMaximumSize(w->maximumSize()));
        w->setMinimumSize(scaledMinimumSize(w->minimumSize()));
    }
    template <class W> void scalePos(W *w, int xShift = 0) const
    {
        w->move(scaledPos(w->pos(), xShift));
    }

    // Newest page lines of the debug log, oldest first.
    QStringList backlog() const { return m_backlog; }

signals:
    void debugMsg(QtMsgType type, const QString &text);

protected:
    bool event(QEvent *event) override;

private:
    explicit SystemInfo(QObject *parent = nullptr);

    double m_scale = 1.0;
    qint32 m_smallFont = 10;
    qint32 m_normalFont = 12;
    qint32 m_largeFont = 18;
    QString m_version;
    QStringList m_backlog;
};
