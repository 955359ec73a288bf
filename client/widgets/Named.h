#pragma once

#include <QLineEdit>
#include <QPushButton>

// Controls with the object names that tests and style sheets find them by.
inline QPushButton *namedButton(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

inline QLineEdit *namedLineEdit(const char *name, QWidget *parent,
                                QLineEdit::EchoMode echo = QLineEdit::Normal)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setEchoMode(echo);
    return e;
}
