#pragma once

#include <QComboBox>

// Combo box of the login window (remembered users, language). Its popup
// opens a little to the left of the box and at least as wide as the box plus
// that offset, so the list lines up with the framed field. GUI thread only.
class LoginComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit LoginComboBox(QWidget *parent = nullptr);

    void showPopup() override;
};
