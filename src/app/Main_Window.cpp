#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include "app/Main.h"

namespace {

QToolButton* MakeButton(QWidget* parent, QAction* action) {
    auto* b = new QToolButton(parent);
    b->setDefaultAction(action);
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    b->setAutoRaise(true);
    b->setFixedSize(23, 22);
    b->setObjectName(QStringLiteral("btn_") + action->objectName());
    return b;
}

}  // namespace

void TfrmMain::BuildWindow() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(347, 98);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(2);
    auto* caption = new QLabel(QStringLiteral("Vantoria 2.2"), this);
    caption->setObjectName(QStringLiteral("AdvToolBarPager1Caption"));
    caption->setIndent(10);
    outer->addWidget(caption);
    auto* row = new QHBoxLayout;
    row->setSpacing(3);
    outer->addLayout(row);
    const std::pair<const char*, std::vector<QAction*>> groups[] = {
        {"Navigation", {actFirst, actPrev, actNext, actLast, actRun}},
        {"Settings",
         {actLoadList, actSetup, actResetDefault, actRemoveWallPaper, actShowClock, actAbout}},
        {"Close", {actExit, actMinimize}},
    };
    int n = 1;
    for (const auto& [title, actions] : groups) {
        auto* box = new QGroupBox(this);
        box->setObjectName(QStringLiteral("AdvToolBar%1").arg(n++));
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(2, 2, 2, 0);
        v->setSpacing(0);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(0);
        for (QAction* a : actions) buttons->addWidget(MakeButton(box, a));
        v->addLayout(buttons);
        auto* label = new QLabel(QString::fromLatin1(title), box);
        label->setAlignment(Qt::AlignHCenter);
        v->addWidget(label);
        row->addWidget(box);
    }
}
