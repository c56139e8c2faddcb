// The bootstrap's window: shown only when setup cannot continue, with the
// reason. Every showing goes through the programs' message seam first, so
// that tests see what would be shown and answer it.
#pragma once

#include "platform/ui/ui_seam.h"

#include <QWidget>

#include <string>

class QLabel;
class QPushButton;

class frmKickstall : public QWidget {
    Q_OBJECT
public:
    explicit frmKickstall(QWidget* parent = nullptr);

    // The error display: the critical image and both labels become visible,
    // lblError shows `errorText`.
    void ShowErrorDisplay(const std::string& errorText);
    // Shows the window, asking the seam first; false when the seam answered
    // (the window was not shown).
    bool ShowThroughSeam();
    // The window as the seam sees it: its form name, caption and texts (one
    // "control: text" per line).
    vesper::ModalRequest request() const;

    QLabel* imgBanner;
    QLabel* imgCritical;
    QLabel* lblCantContinue;
    QLabel* lblError;
    QPushButton* cmdOK;
};
