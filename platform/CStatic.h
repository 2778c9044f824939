#pragma once
// A static text control. Its accessible name follows its text, so screen
// readers read what it shows, and each change is announced.

#include <QLabel>

class CStatic : public QLabel
{
    Q_OBJECT
public:
    explicit CStatic(QWidget *parent = nullptr);

    QString GetWindowText() const { return text(); }
    void SetWindowText(const QString &text);
};
