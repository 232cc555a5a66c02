#pragma once

#include <QDialog>

class QPushButton;

// The about box: version, credit line, home page. Opening the home page leaves the box
// open. It has no owner window; while it is open only the GUI thread waits in it.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "バージョン情報";
    static constexpr const char* kVersion = "Quillo Ver 1.3.0";
    static constexpr const char* kCredit = "Copyright (C) 2005-2026 The Quillo developers";
    // The project has no published address yet; the reserved example domain stands in.
    static constexpr const char* kHomePage = "https://quillo.example.org/";
    static constexpr const char* kOpenHomePage = "ホームページを開く";

    explicit AboutBox(QWidget* parent = nullptr);

    QPushButton& OkButton() { return *ok_; }
    QPushButton& HomePageButton() { return *homePage_; }

private:
    QPushButton* ok_ = nullptr;
    QPushButton* homePage_ = nullptr;
};
