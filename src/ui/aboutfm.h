// The about box: the program's title and version, who makes it and how to reach them.
#pragma once

#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class TLnkLabel;

inline constexpr int kAboutFormWidth = 337;
inline constexpr int kAboutFormHeight = 212;

// False for a contact the maker does not have: an empty value, or "none" in English or in the table's words.
bool AboutValueShown(const QString& value, const QString& noneWord);

class TAboutForm : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutForm(QWidget* parent = nullptr);

    void setVisible(bool visible) override;

    // The controls, named as the layout names them.
    QLabel* Label1 = nullptr; // title
    QLabel* Label3 = nullptr; // version
    QLabel* Label2 = nullptr; // maker
    QFrame* Bevel1 = nullptr;
    QLabel* LabSupport = nullptr;
    QLabel* Label4 = nullptr; // "e-mail:"
    TLnkLabel* LnkLabel1 = nullptr;
    QLabel* Label5 = nullptr; // instant messenger
    QLabel* Label6 = nullptr;
    QLabel* LabWeb = nullptr;
    TLnkLabel* LnkLabel2 = nullptr;
    QFrame* Bevel2 = nullptr;
    QPushButton* Button1 = nullptr;
};
