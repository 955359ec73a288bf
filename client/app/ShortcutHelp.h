#pragma once

#include <QDialog>

class QTableWidget;

// The help page of the grid's keys (F1): every entry of the shortcut table
// (Shortcuts::table) with its key, what it does and where it applies, in a
// frameless dark box like the app's other popups. Esc or the close cross
// closes it. Object names for tests: shortcutHelp, shortcutHelp_table.
// GUI thread only.
class ShortcutHelp : public QDialog
{
    Q_OBJECT

public:
    enum Column { KeyColumn, ActionColumn, ModeColumn };

    explicit ShortcutHelp(QWidget *parent = nullptr);

    int rowCount() const;
    QString cell(int row, int column) const;

private:
    QTableWidget *m_table;
};
