#include "dialogs/RadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(8, 4, 8, 4);
    v->setSpacing(0);
    int id = 0;
    for (const QString& text : items) {
        auto* b = new QRadioButton(text, this);
        b->setObjectName(QStringLiteral("item%1").arg(id));
        buttons_.addButton(b, id++);
        v->addWidget(b);
    }
    connect(&buttons_, &QButtonGroup::idClicked, this, &TRadioGroup::clicked);
}

int TRadioGroup::ItemIndex() const {
    return buttons_.checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index < 0) {
        // An exclusive group never unchecks its last button by itself.
        buttons_.setExclusive(false);
        for (QAbstractButton* b : buttons_.buttons())
            b->setChecked(false);
        buttons_.setExclusive(true);
        return;
    }
    if (index >= Count()) {
        index = Count() - 1;
    }
    if (QAbstractButton* b = buttons_.button(index)) {
        b->setChecked(true);
    }
}

QRadioButton* TRadioGroup::Item(int index) const {
    return qobject_cast<QRadioButton*>(buttons_.button(index));
}
