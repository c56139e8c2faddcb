// kickstall: caches the product package and installs or repairs the product
// from it. On success it ends at once and shows nothing of its own; when setup
// cannot continue, its window shows why.
#include "kickstall/frm_kickstall.h"
#include "kickstall/kickstall.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    const kickstall::Outcome outcome = kickstall::run(kickstall::realSystem());
    if (outcome.succeeded) return 0;

    // Also for a terminal, where no window may be possible.
    std::fprintf(stderr, "kickstall: %s\n", outcome.errorText.c_str());
    QApplication app(argc, argv);
    kickstall::installWindowSeamFromEnvironment();
    frmKickstall form;
    form.ShowErrorDisplay(outcome.errorText);
    if (form.ShowThroughSeam()) app.exec();
    return 1;
}
