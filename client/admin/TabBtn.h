#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// One tab of the device manager's tab row: a painted gradient strip with a
// caption. A left-button release reports the tab; the device manager then
// selects it and deselects the others. GUI thread only.
class TabBtn : public QWidget
{
    Q_OBJECT

public:
    explicit TabBtn(const QString &text, QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    QString text() const;
    // The dark selected look / the light normal look.
    void select();
    void deselect();

signals:
    void clicked(TabBtn *tab);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void apply(const QString &background, const QString &text);

    const QString m_normalBackground = QStringLiteral(
        "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
        "#b9c7d1,stop:0.5 #b9c7d1 ,stop:1 #dee2e6);");
    const QString m_normalText =
        QStringLiteral("color:#6c6c6c;font-size:11px;font-family: \"微软雅黑\";font-weight:bold;"
                       "background:rgba(0,0,0,0)");
    const QString m_selectedBackground = QStringLiteral(
        "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
        "#808080,stop:0.5 #606060 ,stop:1 #313131);");
    const QString m_selectedText =
        QStringLiteral("color:#e2e2e2;font-size:11px;font-family: \"微软雅黑\";font-weight:bold;"
                       "background:rgba(0,0,0,0)");
    QLabel *m_label;
    bool m_selected = false;
};
